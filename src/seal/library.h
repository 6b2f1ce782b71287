// libgcrypt's start, once per process, before its first use here.
#pragma once

namespace melvorin::seal {

void StartLibrary();

}  // namespace melvorin::seal
