// The stub's operator new and delete. Running out of memory ends the program with its message
// (fatal 100) instead of throwing: the stub is compiled without exceptions and carries no
// exception runtime. The nothrow forms, which the engine uses where it reports the failure
// itself, return null.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "app/sfx/sfx_win32.h"
#include "report/messages.h"

namespace {

// Showing the message may need memory too: a second failure ends the program at once.
bool gEndingForMemory = false;

void* Allocate(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) {
    if (gEndingForMemory) ExitProcess(kFatalNoMemory);
    gEndingForMemory = true;
    EndStub(Status::Fatal(kFatalNoMemory));
  }
  return block;
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
