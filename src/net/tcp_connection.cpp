#include "net/tcp_connection.h"

#include <algorithm>
#include <cstring>

#include "net/net_errors.h"

namespace bx {

TBxTCPConnection::TBxTCPConnection(std::unique_ptr<TBxByteChannel> channel)
    : FChannel(std::move(channel)) {}

TBxTCPConnection::~TBxTCPConnection() {
  if (FConnected) FChannel->Close();
}

void TBxTCPConnection::SetMaxLineLength(size_t length) {
  FMaxLineLength = length;
  // A whole line with its CR LF must fit the buffer.
  if (FInCapacity >= length + 2) return;
  if (!FIn) {
    FInCapacity = length + 2;
    return;
  }
  Reallocate(length + 2);
}

void TBxTCPConnection::Reallocate(size_t capacity) {
  // Default-initialised: only the bytes received are ever read.
  std::unique_ptr<char[]> larger(new char[capacity]);
  std::memcpy(larger.get(), FIn.get() + FInStart, FInEnd - FInStart);
  FInEnd -= FInStart;
  FInStart = 0;
  FIn = std::move(larger);
  FInCapacity = capacity;
}

void TBxTCPConnection::Fill() {
  if (!FConnected) throw EBxConnClosedGracefully();
  Flush();
  if (!FIn) {
    // An idle connection waits here without a buffer. Default-initialised: only the bytes
    // received are ever read.
    FChannel->WaitReadable();
    FIn.reset(new char[FInCapacity]);
  }
  if (FInStart > 0) {
    std::memmove(FIn.get(), FIn.get() + FInStart, FInEnd - FInStart);
    FInEnd -= FInStart;
    FInStart = 0;
  }
  const size_t room = FInCapacity - FInEnd;
  const size_t n = FChannel->Read(FIn.get() + FInEnd, room);
  if (n == 0) {
    FConnected = false;
    FChannel->Close();
    throw EBxConnClosedGracefully();
  }
  FInEnd += n;
  // The peer had more than fitted: it streams, so the next reads take larger pieces.
  if (n == room && room >= kBxDefaultBufferSize / 2 && FInCapacity < kBxMaxBufferSize) {
    Reallocate(std::min(FInCapacity * 2, kBxMaxBufferSize));
  }
}

void TBxTCPConnection::Need(size_t count) {
  while (InputBuffered() < count) Fill();
}

int32_t TBxTCPConnection::ReadInt32() {
  Need(4);
  const auto* p = reinterpret_cast<const unsigned char*>(FIn.get() + FInStart);
  const uint32_t value =
      (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
  FInStart += 4;
  return static_cast<int32_t>(value);
}

std::string TBxTCPConnection::ReadBytes(size_t count) {
  std::string result;
  while (result.size() < count) {
    if (InputBuffered() == 0) Fill();
    const size_t take = std::min(count - result.size(), InputBuffered());
    result.append(FIn.get() + FInStart, take);
    FInStart += take;
  }
  return result;
}

std::string_view TBxTCPConnection::TakeBuffered(size_t count) {
  if (count == 0 || InputBuffered() < count) return {};
  const std::string_view bytes(FIn.get() + FInStart, count);
  FInStart += count;
  return bytes;
}

std::string TBxTCPConnection::ReadLn() {
  size_t scanned = 0;  // bytes already searched for LF
  for (;;) {
    const size_t available = InputBuffered();
    // Nothing to search (and perhaps no buffer yet) until the first Fill.
    const char* begin = available > 0 ? FIn.get() + FInStart : nullptr;
    const void* lf =
        available > scanned ? std::memchr(begin + scanned, '\n', available - scanned) : nullptr;
    if (lf != nullptr) {
      const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - begin);
      size_t length = end;
      if (length > 0 && begin[length - 1] == '\r') --length;
      if (length > FMaxLineLength) throw EBxMaxLineLengthExceeded();
      std::string line(begin, length);
      for (char& c : line) {
        if (static_cast<unsigned char>(c) > 0x7F) c = '?';
      }
      FInStart += end + 1;
      return line;
    }
    // The longest acceptable line still missing its LF is MaxLineLength characters and a CR.
    if (available > FMaxLineLength + 1) throw EBxMaxLineLengthExceeded();
    scanned = available;
    Fill();
  }
}

void TBxTCPConnection::WriteInt32(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 8), static_cast<char>(v)};
  Write(std::string_view(bytes, 4));
}

void TBxTCPConnection::Write(std::string_view bytes) {
  FOut.append(bytes);
  if (FOut.size() >= kBxDefaultBufferSize) Flush();
}

void TBxTCPConnection::WriteLn(std::string_view text) {
  FOut.append(text);
  FOut.append("\r\n");
  if (FOut.size() >= kBxDefaultBufferSize) Flush();
}

void TBxTCPConnection::Flush() {
  if (FOut.empty()) return;
  if (!FConnected) throw EBxConnClosedGracefully();
  std::string pending;
  pending.swap(FOut);
  FChannel->Write(pending.data(), pending.size());
}

void TBxTCPConnection::Disconnect() {
  if (!FConnected) return;
  try {
    Flush();
  } catch (...) {
    // The peer is gone already; closing is all that is left to do.
  }
  FConnected = false;
  FChannel->Shutdown();
  FChannel->Close();
}

}  // namespace bx
