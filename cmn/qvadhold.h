// Owners for what the C runtime hands out, so that every path out of a
// function closes the stream or frees the block it took.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <memory>

struct QvadFileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

// An open stream, closed when it goes out of scope.
using QvadFile = std::unique_ptr<std::FILE, QvadFileCloser>;

struct QvadFreeDeleter {
  void operator()(void *p) const { std::free(p); }
};

// A block from malloc, calloc or one of the readers that return one (free it
// with free), freed when it goes out of scope.
template <typename T>
using QvadMallocPtr = std::unique_ptr<T, QvadFreeDeleter>;
