// The log files that File destinations with KeepOpen=True hold open between messages, known
// process-wide so that somebody closes them when their holder is not asked to do anything:
// the dispatch thread closes those that have been idle for kKeptFileIdleMs (CloseIdleKeptFiles
// on its wake-ups) and every one when it ends (CloseAllKeptFiles). A destination that finds its
// file locked first asks the other holders of this process to let go of that name
// (CloseKeptFilesNamed): two loggers of one dispatcher may write to the same file.
//
// Ownership: the list holds borrowed pointers; a holder registers itself while it keeps a file
// open and must unregister before it is destroyed.
// Threads: RegisterKeptFile and the Close and Flush functions on the dispatch thread, where
// holders deliver; UnregisterKeptFile from any thread. One lock guards the list and is held while a
// holder's file is closed through it, so a holder that unregisters (also from its destructor
// on another thread) waits for such a close to finish and is never called again afterwards.
// Holders must not call back into this list from CloseKeptFile, IdleExpired, KeptFileName or
// FlushKeptFile.
// Failure: nothing throws (closing reports through the holder's own activity-log lines).
#pragma once

#include <cstdint>
#include <string>

namespace bx {

// A kept file is closed after this long without a message.
inline constexpr int64_t kKeptFileIdleMs = 1000;

class TBxKeptOpenFile {
 public:
  virtual ~TBxKeptOpenFile() = default;
  // Whether the kept file has been idle for kKeptFileIdleMs by the holder's own clock.
  virtual bool IdleExpired() const = 0;
  // Closes the kept file (the list has already dropped the holder).
  virtual void CloseKeptFile() = 0;
  // The name the kept file was opened under.
  virtual const std::string& KeptFileName() const = 0;
  // Writes what the holder has buffered (see DispatchBacklog); false when that failed and the
  // file must be closed (the list then drops the holder and calls CloseKeptFile).
  virtual bool FlushKeptFile() = 0;
};

// Whether more messages wait behind the one being delivered. The dispatch thread sets it for
// each message; a holder may then buffer the message's bytes and write several messages at
// once, for one system call instead of one per message. It is false on every other thread,
// so a holder used elsewhere writes each message at once. Per thread; no lock.
void SetDispatchBacklog(bool backlog);
bool DispatchBacklog();
// Set by a holder on the dispatch thread when it buffers; FlushKeptFiles clears it.
void NoteKeptWritesPending();
bool KeptWritesPending();

void RegisterKeptFile(TBxKeptOpenFile* holder);    // no effect when already registered
void UnregisterKeptFile(TBxKeptOpenFile* holder);  // no effect when not registered
// Whether any file is kept open; a cheap test for every wake-up.
bool AnyKeptFile();
void CloseIdleKeptFiles();
void CloseAllKeptFiles();
// Writes what every holder has buffered; called by the dispatch thread when the queue is
// empty, so a buffered message reaches its file as soon as no other one waits.
void FlushKeptFiles();
// Closes the files kept under `name` by holders other than `except`; true when one was closed.
bool CloseKeptFilesNamed(const std::string& name, const TBxKeptOpenFile* except);

}  // namespace bx
