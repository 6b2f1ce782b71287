// libgcrypt's start, once per process, before its first use here.
#pragma once

namespace melvorin::seal {

void StartLibrary();
// libgcrypt's log on stderr, without its notes for administrators.
void RouteLibraryLog();

}  // namespace melvorin::seal
