#pragma once

#include <QString>

namespace qv {

// Cause codes of a file failure, as the program reports them.
enum FileCause {
    kFileNone = 0,
    kFileGeneric = 1,
    kFileNotFound = 2,
    kFileBadPath = 3,
    kFileTooManyOpen = 4,
    kFileAccessDenied = 5,
    kFileInvalidFile = 6,
    kFileBusy = 7,
    kFileBadSeek = 8,
    kFileHardIO = 9,
    kFileInUse = 10,
    kFileLockViolation = 11,
    kFileDiskFull = 12,
};

// Maps a Linux errno value onto a cause code.
int FileCauseFromErrno(int err);

// Opens `path` with `flags` (and `mode` when creating) without ever blocking, and keeps it only
// when it is a regular file: a FIFO, a device or a folder could stall the caller or swallow what
// is written. Returns the descriptor, or -1 with the errno of the failure in `err` (EACCES for
// something that is not a regular file).
int OpenRegularFile(const QString& path, int flags, int mode, int& err);

// The file exists and its owner has taken the write permission off (mode 0400 or 0000). The
// program then leaves it alone, whoever runs it: root would be allowed to write it anyway.
bool IsReadOnlyByMode(const QString& path);

// Makes way for a writer that guards its file with `lockPath`, a Qt lock file (QSettings does):
// one that no process holds locked was left by a process that ended (killed while saving, often
// empty) and is removed at once, where Qt would wait up to 30 s for it to grow old. One held by a
// live process is waited for up to `waitMs`. False when the writer must not go on: still held
// then, or something other than a regular file is at the name (never followed or opened).
bool ClearStaleLockFile(const QString& lockPath, int waitMs);

// The text of one cause code; "Unknown error." for 0 and unknown codes.
QString FileCauseText(int cause);

// String `prefixId` followed by the text of `cause`, e.g. "Log file problem. Reason: The disk is
// full."
QString FileErrorText(int prefixId, int cause);

}  // namespace qv
