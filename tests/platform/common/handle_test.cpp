// Handles of the platform layer: each kind has a type of its own, so one
// kind handed where another is expected does not compile, and a pipe end
// becomes a child's stream only through PipeStream. Every handle stays one
// pointer-sized value whose invalid value is the INVALID_HANDLE_VALUE
// pattern, so the records that hold them keep their layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <type_traits>

#include "platform/event.h"
#include "platform/eventlog.h"
#include "platform/library.h"
#include "platform/mutex.h"
#include "platform/pipe.h"
#include "platform/process.h"
#include "platform/service.h"
#include "platform/svcmgr.h"
#include "platform/thread.h"
#include "platform/types.h"

namespace {

using Kinds = std::tuple<plat::FileHandle, plat::ProcessHandle, plat::ThreadHandle, plat::EventHandle,
                         plat::RunMutexHandle, plat::InstanceLockHandle, plat::PipeHandle, plat::EventSourceHandle,
                         plat::ServiceStatusHandle, plat::Library, plat::SvcHandle>;

template <class A, class... B>
constexpr bool ConvertsToNone(std::tuple<B...>) {
  return ((std::is_same_v<A, B> || !std::is_convertible_v<A, B>)&&...);
}

template <class... A>
constexpr bool NoKindsMix(std::tuple<A...> kinds) {
  return (ConvertsToNone<A>(kinds) && ...);
}

template <class... A>
constexpr bool AllPointerSized(std::tuple<A...>) {
  return ((sizeof(A) == sizeof(void *) && std::is_pointer_v<A>)&&...);
}

static_assert(NoKindsMix(Kinds{}), "a handle of one kind converts to another");
static_assert(AllPointerSized(Kinds{}), "a handle is no longer one pointer");
static_assert(!std::is_convertible_v<void *, plat::ProcessHandle>, "an untyped pointer passes for a process");

std::intptr_t Bits(const void *p) { return reinterpret_cast<std::intptr_t>(p); }

TEST(Handles, InvalidValuesShareOnePattern) {
  for (const void *invalid :
       {static_cast<const void *>(plat::kInvalidFile), static_cast<const void *>(plat::kInvalidProcess),
        static_cast<const void *>(plat::kInvalidThread), static_cast<const void *>(plat::kInvalidEvent),
        static_cast<const void *>(plat::kInvalidRunMutex), static_cast<const void *>(plat::kInvalidInstanceLock),
        static_cast<const void *>(plat::kInvalidPipe)}) {
    EXPECT_EQ(Bits(invalid), -1);
  }
}

TEST(Handles, NoPipeEndIsNoStream) {
  // A child given the stream of a pipe that failed to open inherits ours.
  EXPECT_EQ(plat::PipeStream(plat::kInvalidPipe), plat::kInvalidFile);
}

}  // namespace
