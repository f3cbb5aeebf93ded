// Buffered files opened by option letters, whole-file reads and writes, and
// the positioned message texts ("name (line/column): message") file errors
// are raised with.
//
// Every failure is reported by the reporting rule: raised at once through
// the error framework with a text naming the file, or, while the file's
// errors are deferred, kept as its pending error. The next operation on the
// file raises a pending error first; TakeError, BeginDefer, EndDefer, Report
// and RaisePending do not. Errors are told apart by the identity of the
// message constants below, never by their texts.
//
// Sizes and positions are signed 32-bit: a file or position past 2 GiB - 1
// cannot be measured and reports FileIsInvalid rather than a wrapped number.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "gen/Array.h"
#include "gen/Str.h"

// The file messages, in the order the library keeps them.
extern const char FileTooShort[];            // "File is too short"
extern const char FileTooLong[];             // "File is too long"
extern const char DiskFullOnWrite[];         // "Disk full on file write"
extern const char FileSeekError[];           // "File seek error"
extern const char CantCreateFile[];          // "Can't create file"
extern const char BadFileName[];             // "Bad file name" (for other modules)
extern const char FileNotFound[];            // "File not found"
extern const char FileIsInvalid[];           // "File is invalid"
extern const char FileDamaged[];             // "File damaged" (for other modules)
extern const char FileIsEmpty[];             // "File is empty" (for other modules)
extern const char FileFormatNotSupported[];  // "File format is not supported" (for other modules)
extern const char CannotDeleteFile[];        // "Cannot delete file"
extern const char CannotFlushFile[];         // "Cannot flush file"
extern const char CannotCloseFile[];         // "Cannot close file"
const unsigned FileMessageCount = 14;
extern const char* const FileMessages[FileMessageCount];

// The deferCount "X" starts a file with.
const int DeferredFileErrors = 0x3FFFFFFF;
// The stream buffer every open file gets, and the largest transfer block of
// CopyFileData.
const unsigned FileBufferSize = 512;
const unsigned CopyChunkSize = 0xF000;

// Option letters: upper case switches an option on, lower case off, the
// earlier form of a letter wins, an absent letter is off.
//   R readable   W writable   C create if missing   I discard the contents
//   A prefer appending   T text mode (else binary)   L line-buffered
//   X defer errors   D delete on close   (M and B are accepted, unused)
// The runtime stream mode the letters open with: one of the six standard
// modes followed by "t" or "b" (a static text).
const char* StreamModeOf(const char* letters);

// A file. A File that is not open refuses every operation that needs the
// stream (it reports FileIsInvalid and does nothing else); Close does
// nothing then. Sharing: while a file is open only for reading, others may
// open it for reading; while it is open for writing, nobody else may.
class File {
public:
    FILE* stream;              // null while closed
    Str fileName;              // released (null) until Open
    Str modeLetters;           // released (null) until Open
    const char* pendingError;  // a deferred message, or null
    int deferCount;            // 0: errors are raised at once
    int lineNumber;            // cited by error texts; -1: none
    int columnNumber;          // cited by error texts; -1: none

    File();
    File(const char* path, const char* letters);
    // Raises a pending error, then closes the file (and deletes it with "D");
    // either error leaves the destructor as an exception. A pending error
    // that leaves still has the file closed first, dropping what that close
    // may fail with. While another exception is already leaving the File's
    // scope, throwing would end the program: the pending error and any
    // failure of the close are dropped then, and the file is still closed
    // (and deleted with "D").
    ~File() noexcept(false);
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path with the stream mode of letters; an open File is closed
    // first. Failure reports CantCreateFile with "C" on, else FileNotFound.
    File& Open(const char* path, const char* letters);
    // Creates a new file and opens it with letters as Open does (W should be
    // among them): named stem, "~", a number and extension, the first such
    // name nothing holds yet. The file is created exclusively, so no existing
    // file, folder or link is ever opened through. fileName then names it.
    // When none could be made reports CantCreateFile naming stem and
    // extension.
    File& OpenNew(const char* stem, const char* extension, const char* letters);
    // Takes the stream out and closes it (CannotCloseFile); then, with "D",
    // deletes the file (CannotDeleteFile). After a failed close the File
    // counts as closed.
    File& Close();
    // Writes the stream's buffer to the system and the system's to the
    // disk; failure of either reports CannotFlushFile. A file open only for
    // reading has nothing to write: nothing is done.
    File& Commit();

    // Exactly n bytes, or FileTooShort.
    File& Read(void* buffer, unsigned n);
    // A block of n bytes read from the file (unread bytes undefined when a
    // deferred error cut the read short; empty when the heap refused it and
    // its raise came back).
    Block ReadBlock(unsigned n);
    // The rest of the file followed by the suffix bytes [suffixFirst,
    // suffixEnd). Fewer than minimum bytes left report FileTooShort, at
    // least maximum FileTooLong; with the error deferred the block is empty.
    Block ReadRest(unsigned minimum, unsigned maximum, const char* suffixFirst, const char* suffixEnd);
    // Exactly n bytes, or DiskFullOnWrite.
    File& Write(const void* buffer, unsigned n);
    // The text without its terminator; returns the bytes written.
    unsigned WriteText(const char* text);
    // Formats through FormatBuffer (cut as FormatStr cuts) and writes it.
    unsigned Print(const char* format, ...);
    unsigned PrintV(const char* format, va_list arguments);

    // origin: SEEK_SET, SEEK_CUR or SEEK_END. A failed move, or a move from
    // the start that does not end at offset, reports FileSeekError.
    File& Seek(int offset, int origin);
    // The file ends at the current position. A failed flush reports
    // CannotFlushFile, a failed resize FileIsInvalid.
    File& TruncateHere();
    // Size and position; -1 after a deferred FileIsInvalid.
    int Length();
    int Position();
    bool AtEnd();
    int Remaining();

    // Clears the pending error and answers true when it is message.
    bool TakeError(const char* message);
    File& BeginDefer();
    // Back at 0 with an error pending: raises it.
    File& EndDefer();
    // The reporting rule: pending while deferred, otherwise raised with the
    // file's positioned text.
    void Report(const char* message);
    void RaisePending();

private:
    // The stream's last transfer: the runtime needs a flush or a seek
    // between a write and a read on the same stream.
    enum Transfer { None, Reading, Writing };
    Transfer lastTransfer;
    // Exceptions in flight when the File was made: more at destruction means
    // one is leaving the File's scope.
    int exceptionsAtCreation;
    // The stream's buffer, owned here so that it lives as long as the stream.
    char streamBuffer[FileBufferSize];

    // ReadRest of left bytes, known to be what is left.
    Block ReadLeft(unsigned left, unsigned minimum, unsigned maximum, const char* suffixFirst,
                   const char* suffixEnd);
    friend Block ReadWholeFile(const char*, unsigned, unsigned, const char*, const char*);

    // What Open and OpenNew share: the letters kept, the errors' state reset;
    // returns the stream mode.
    const char* Prepare(const char* letters);
    void Attach(FILE* opened);
    void Raise(const char* message);
    // After RaisePending: whether there is a stream (else FileIsInvalid).
    bool Ready();
    // The helpers below raise no pending error and report their own failures.
    bool Flush(const char* failure);
    bool TurnTo(Transfer direction);
    void ReadBytes(void* buffer, unsigned n);
    unsigned WriteBytes(const void* buffer, unsigned n);
    bool Locate(long long& position);
    bool LengthOf(int& length);
    bool PositionOf(int& position);
    bool RemainingOf(int& remaining);
};

// True when path names an existing file or folder.
bool FileExists(const char* path);
// Deletes the file; failure raises CannotDeleteFile naming the path.
void RemoveFile(const char* path);
// Copies what is left of source from its position, at most maximum bytes,
// to destination, in chunks of at most CopyChunkSize. Fewer than minimum
// bytes left: the source reports FileTooShort and nothing is copied.
void CopyFileData(File& destination, File& source, unsigned minimum, unsigned maximum);
// The whole file (opened with "RMlB") followed by the suffix bytes, bounds
// as for ReadRest.
Block ReadWholeFile(const char* path, unsigned minimum, unsigned maximum, const char* suffixFirst,
                    const char* suffixEnd);
// The whole file followed by suffix and its terminator, as a text (which ends
// at the first NUL byte).
Str ReadWholeText(const char* path, unsigned minimum, unsigned maximum, const char* suffix);
// Writes the n bytes of buffer to a new file (OpenNew of stem, extension
// and letters, X implied), commits and closes it. Returns null, or the
// message of the first failure, raising nothing; a file made and not
// completed is removed. file.fileName names the file made.
const char* WriteNewFile(File& file, const char* stem, const char* extension, const char* letters,
                         const void* buffer, unsigned n);
// Creates or replaces the file with the n bytes of buffer. The old file
// stays whole until the new one is: it is written beside it (a new file,
// path followed by "~", a number and ".tmp") and moved over it. A failure
// raises its message naming path, leaving the old file as it was and no
// temporary file; a file that cannot be replaced (read-only, a folder)
// reports CantCreateFile.
void WriteWholeFile(const char* path, const void* buffer, unsigned n);
// message's text preceded by what is known of where it happened: source
// (null counts as empty), line and column (-1: unknown), as "source (line/
// column): message", "Line 3: message", "Column 0: message" and so on.
Str PositionedMessage(const char* message, const char* source, int line, int column);
