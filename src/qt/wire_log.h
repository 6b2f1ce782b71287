#pragma once

// The wire log: one line per datagram sent or received and per error dropped
// on purpose, in the logging category "melvorin.wire", silent by default.
// `melvorin --verbose` or QT_LOGGING_RULES="melvorin.wire.info=true" turn it
// on; the lines go to standard error. A join request's key is written as
// its length only (see net/wire_log.h) unless `--show-secrets` is given.

#include <QLoggingCategory>

#include "net/log.h"

namespace melvorin::qt {

Q_DECLARE_LOGGING_CATEGORY(lcWire)

// Turns the wire log on (QT_LOGGING_RULES still has the last word).
void EnableWireLog();
// Whether the log writes a join request's key as it is (--show-secrets).
void ShowSecretsInWireLog(bool show);

// Writes the entry's line when the log is on. Safe on any thread.
void LogWire(const net::TIdLogEntry& entry);

}  // namespace melvorin::qt
