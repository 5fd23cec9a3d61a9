// Giving freed heap memory back to the system. After a burst the allocator keeps the pages of
// every block that was freed; a resident program that has just drained a large backlog asks
// for them to be returned so that its resident size falls back to its idle size.
//
// Threads: any thread; it walks every allocator arena under the allocator's own locks, so it
// costs about a millisecond per hundred megabytes of heap and should not run per message.
// Failure: none; where the allocator cannot return memory the call does nothing.
#pragma once

namespace bx {

void ReturnFreeMemoryToSystem();

}  // namespace bx
