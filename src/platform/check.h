// Checks of invariants: conditions that hold in a correct program whatever the input. A broken
// one is a fault of this program, not of a peer, a file or a setting (those get a log entry and
// a default), so carrying on would only spread the damage.
//
// BX_CHECK(condition) and BX_CHECK_MSG(condition, text): in every build, evaluate `condition`
// once; when it is false, write "check failed: <condition> at <file>:<line>" (and the text) to
// standard error and abort. For invariants after start-up whose breach must not go unnoticed
// in the field.
// BX_DCHECK(condition) and BX_DCHECK_MSG(condition, text): the same in debug builds (NDEBUG
// not defined); in release builds `condition` is compiled but never evaluated, so it costs
// nothing. For checks on hot paths and for thread ownership (which thread may call).
// kDCheckIsOn says which of the two a build has.
//
// Threads: any thread. Failure: a failed check never returns (std::abort, so a core dump
// or the sanitizer's report shows where).
#pragma once

namespace bx {

#if defined(NDEBUG)
inline constexpr bool kDCheckIsOn = false;
#else
inline constexpr bool kDCheckIsOn = true;
#endif

// Writes the message and aborts; called by the macros only.
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line,
                              const char* text) noexcept;

}  // namespace bx

#define BX_CHECK_MSG(condition, text)                          \
  do {                                                         \
    if (__builtin_expect(!(condition), 0)) {                   \
      ::bx::CheckFailed(#condition, __FILE__, __LINE__, text); \
    }                                                          \
  } while (false)
#define BX_CHECK(condition) BX_CHECK_MSG(condition, nullptr)

#if defined(NDEBUG)
#define BX_DCHECK_MSG(condition, text) \
  do {                                 \
    if (false) {                       \
      static_cast<void>(condition);    \
      static_cast<void>(text);         \
    }                                  \
  } while (false)
#else
#define BX_DCHECK_MSG(condition, text) BX_CHECK_MSG(condition, text)
#endif
#define BX_DCHECK(condition) BX_DCHECK_MSG(condition, nullptr)
