// TBxMemoryChannel: a TBxByteChannel over bytes held in memory, for tests and fuzz targets.
// Reads hand out the input in chunks of at most `chunk` bytes (so parsing across read
// boundaries is exercised); writes collect in Written(). End of input reads as a close by the
// peer. Threads: one thread only.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "net/byte_channel.h"

namespace bx {

class TBxMemoryChannel : public TBxByteChannel {
 public:
  explicit TBxMemoryChannel(std::string input, size_t chunk = 1 << 20)
      : FInput(std::move(input)), FChunk(chunk == 0 ? 1 : chunk) {}

  size_t Read(void* buffer, size_t size) override {
    if (FClosed) return 0;
    const size_t n = std::min({size, FChunk, FInput.size() - FPos});
    if (n > 0) std::memcpy(buffer, FInput.data() + FPos, n);
    FPos += n;
    ++FReads;
    return n;
  }
  void Write(const void* data, size_t size) override {
    FWritten.append(static_cast<const char*>(data), size);
    ++FWrites;
  }
  void Shutdown() override { FClosed = true; }
  void Close() override { FClosed = true; }
  std::string PeerText() const override { return "memory"; }

  const std::string& Written() const { return FWritten; }
  size_t Writes() const { return FWrites; }
  size_t Reads() const { return FReads; }

 private:
  std::string FInput;
  size_t FChunk;
  size_t FPos = 0;
  bool FClosed = false;
  std::string FWritten;
  size_t FWrites = 0;
  size_t FReads = 0;
};

}  // namespace bx
