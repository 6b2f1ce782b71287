// libgcrypt's log, which it writes on stderr. On Windows its entropy
// gatherer's first poll notes that the disk statistics are off ("diskperf
// -y"): a hint for the machine's administrator that tells the person running
// a program nothing, so that note is dropped. Every other line still goes to
// stderr, as libgcrypt would write it.
#include "seal/library.h"

#include <gcrypt.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace melvorin::seal {
namespace {

void Log(void*, int level, const char* format, va_list args) {
  if (level == GCRY_LOG_INFO && std::strstr(format, "diskperf") != nullptr) return;
  std::vfprintf(stderr, format, args);
}

}  // namespace

void RouteLibraryLog() { gcry_set_log_handler(Log, nullptr); }

}  // namespace melvorin::seal
