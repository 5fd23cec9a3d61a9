#include "destinations/log_file_reader.h"

#include <algorithm>
#include <cstring>

#include "destinations/log_file_record.h"

namespace bx {

namespace {

constexpr size_t kHeaderSize = kLogFileMarkerSize + kLogFileRecordLengthsEnd;
constexpr int64_t kChunkSize = 1 << 20;

template <size_t N>
std::string FieldString(const char (&field)[N]) {
  return std::string(FieldText(field));
}

TLogFileParse Stopped(TLogFileStop stop, size_t consumed, int64_t index, int64_t offset,
                      int64_t needed = 0) {
  TLogFileParse parse;
  parse.Stop = stop;
  parse.Consumed = consumed;
  parse.StopIndex = index;
  parse.StopOffset = offset;
  parse.Needed = needed;
  return parse;
}

}  // namespace

TLogFileParse ParseLogFileEntries(std::span<const std::byte> bytes, int64_t baseOffset,
                                  int64_t firstIndex, std::vector<TLogFileEntry>& entries) {
  size_t pos = 0;
  int64_t index = firstIndex;
  while (pos < bytes.size()) {
    const size_t remaining = bytes.size() - pos;
    const std::byte* at = bytes.data() + pos;
    const int64_t offset = baseOffset + static_cast<int64_t>(pos);
    // A partial marker at the very end still has to agree with the marker so far.
    const size_t markerPart = std::min(remaining, kLogFileMarkerSize);
    if (std::memcmp(at, kLogFileMarkerBytes.data(), markerPart) != 0) {
      return Stopped(TLogFileStop::BadMarker, pos, index, offset);
    }
    if (remaining < kHeaderSize) return Stopped(TLogFileStop::Cut, pos, index, offset);

    TLogFileRecord fixed;
    std::memcpy(&fixed, at + kLogFileMarkerSize, kLogFileRecordLengthsEnd);
    if (fixed.MsgTextLen < 0 || fixed.DetailsLen < 0) {
      return Stopped(TLogFileStop::BadLength, pos, index, offset);
    }
    const int64_t needed = static_cast<int64_t>(kLogFileMarkerSize) +
                           LogFileRecordSize(fixed.MsgTextLen, fixed.DetailsLen);
    if (static_cast<uint64_t>(needed) > remaining) {
      return Stopped(TLogFileStop::Cut, pos, index, offset, needed);
    }
    std::memcpy(&fixed, at + kLogFileMarkerSize, kLogFileRecordFixedSize);

    TLogFileEntry entry;
    entry.Index = index;
    entry.Offset = offset;
    entry.MsgType = fixed.MsgType;
    entry.TimeStampTime = fixed.TimeStampTime;
    entry.TimeStampDate = fixed.TimeStampDate;
    entry.TimeBias = fixed.TimeBias;
    entry.ProcessID = fixed.ProcessID;
    entry.ThreadName = FieldString(fixed.ThreadName);
    entry.ComputerName = FieldString(fixed.ComputerName);
    entry.AppName = FieldString(fixed.AppName);
    entry.Category = FieldString(fixed.Category);
    entry.CategoryColor = fixed.CategoryColor;
    entry.CategoryFontColor = fixed.CategoryFontColor;
    entry.TypeName = FieldString(fixed.TypeName);
    const char* texts =
        reinterpret_cast<const char*>(at) + kLogFileMarkerSize + kLogFileRecordFixedSize;
    entry.MsgText.assign(texts, static_cast<size_t>(fixed.MsgTextLen));
    entry.Details.assign(texts + fixed.MsgTextLen, static_cast<size_t>(fixed.DetailsLen));
    entries.push_back(std::move(entry));

    pos += static_cast<size_t>(needed);
    ++index;
  }
  return Stopped(TLogFileStop::End, pos, index, baseOffset + static_cast<int64_t>(pos));
}

std::string DescribeLogFileStop(const TLogFileParse& parse) {
  const std::string where =
      "entry " + std::to_string(parse.StopIndex) + " at offset " + std::to_string(parse.StopOffset);
  switch (parse.Stop) {
    case TLogFileStop::End:
      return {};
    case TLogFileStop::Cut:
      return "file ends inside " + where;
    case TLogFileStop::BadMarker:
      return "no entry marker at offset " + std::to_string(parse.StopOffset) + " (entry " +
             std::to_string(parse.StopIndex) + ")";
    case TLogFileStop::BadLength:
      return "negative text length in " + where;
    case TLogFileStop::ReadError:
      return "read error before " + where;
  }
  return {};
}

TLogFileReader::TLogFileReader(const std::string& path, TFileSystem& fileSystem) {
  TSystemError status;
  FFile = fileSystem.OpenForRead(path, status);
  if (FFile == nullptr) FError = status.Text;
}

TLogFileParse TLogFileReader::Read(std::vector<TLogFileEntry>& entries) {
  if (FFailed) return FFailure;
  if (FFile == nullptr) {
    FFailed = true;
    FFailure = Stopped(TLogFileStop::ReadError, 0, FNextIndex, FOffset);
    return FFailure;
  }
  TSystemError status;
  const int64_t size = FFile->Size(status);
  if (size < 0) {
    FError = status.Text;
    return Stopped(TLogFileStop::ReadError, 0, FNextIndex, FOffset);
  }
  std::vector<std::byte> buffer;
  int64_t want = kChunkSize;
  while (FOffset < size) {
    // Never ask for more than the file holds: a lying length field cannot make us allocate
    // or read beyond the file.
    const int64_t length = std::min(want, size - FOffset);
    buffer.resize(static_cast<size_t>(length));
    const size_t got = FFile->ReadAt(FOffset, buffer, status);
    if (!status.Ok()) {
      FError = status.Text;
      return Stopped(TLogFileStop::ReadError, 0, FNextIndex, FOffset);
    }
    buffer.resize(got);
    TLogFileParse parse = ParseLogFileEntries(buffer, FOffset, FNextIndex, entries);
    FOffset += static_cast<int64_t>(parse.Consumed);
    FNextIndex = parse.StopIndex;
    if (parse.Stop == TLogFileStop::End) {
      if (got == 0) break;  // the file shrank while we read
      want = kChunkSize;
      continue;
    }
    if (parse.Stop != TLogFileStop::Cut) {
      FFailed = true;
      FFailure = parse;
      FFailure.Consumed = 0;
      return parse;
    }
    if (parse.Consumed > 0) {
      want = kChunkSize;  // the entry may continue in the next chunk
      continue;
    }
    // The entry at FOffset did not fit the chunk: read it whole if the file holds it.
    if (parse.Needed > length && FOffset + parse.Needed <= size) {
      want = parse.Needed;
      continue;
    }
    return parse;
  }
  return Stopped(TLogFileStop::End, 0, FNextIndex, FOffset);
}

}  // namespace bx
