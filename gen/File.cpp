// Files opened by option letters, their error texts and the whole-file
// operations.
#include "gen/File.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>

#include "gen/Err.h"

const char FileTooShort[] = "File is too short";
const char FileTooLong[] = "File is too long";
const char DiskFullOnWrite[] = "Disk full on file write";
const char FileSeekError[] = "File seek error";
const char CantCreateFile[] = "Can't create file";
const char BadFileName[] = "Bad file name";
const char FileNotFound[] = "File not found";
const char FileIsInvalid[] = "File is invalid";
const char FileDamaged[] = "File damaged";
const char FileIsEmpty[] = "File is empty";
const char FileFormatNotSupported[] = "File format is not supported";
const char CannotDeleteFile[] = "Cannot delete file";
const char CannotFlushFile[] = "Cannot flush file";
const char CannotCloseFile[] = "Cannot close file";

const char* const FileMessages[FileMessageCount] = {
    FileTooShort, FileTooLong,  DiskFullOnWrite,  FileSeekError,
    CantCreateFile, BadFileName, FileNotFound,     FileIsInvalid,
    FileDamaged,  FileIsEmpty,  FileFormatNotSupported, CannotDeleteFile,
    CannotFlushFile, CannotCloseFile,
};

namespace {

// The six standard modes, one bit each, in the order the lowest bit picks.
enum : unsigned { ModeR = 1, ModeW = 2, ModeA = 4, ModeRPlus = 8, ModeWPlus = 16, ModeAPlus = 32, AllModes = 63 };
const char* const kStreamModes[6][2] = {
    {"rb", "rt"}, {"wb", "wt"}, {"ab", "at"}, {"r+b", "r+t"}, {"w+b", "w+t"}, {"a+b", "a+t"},
};

// The first form of the letter decides; an absent letter is off.
bool LetterOn(const char* letters, char upper) {
    const char lower = static_cast<char>(upper - 'A' + 'a');
    for (const char* letter = letters ? letters : ""; *letter; ++letter) {
        if (*letter == upper) return true;
        if (*letter == lower) return false;
    }
    return false;
}

// Frees a block unless it was handed on: a raise that leaves an operation
// between allocating and returning must not leak.
class BlockGuard {
public:
    explicit BlockGuard(Block& block) : block(&block) {}
    ~BlockGuard() {
        if (block) block->FreeStorage();
    }
    BlockGuard(const BlockGuard&) = delete;
    BlockGuard& operator=(const BlockGuard&) = delete;
    Block Release() {
        Block result;
        result.MoveFrom(*block);
        block = nullptr;
        return result;
    }

private:
    Block* block;
};

unsigned Smaller(unsigned a, unsigned b) { return a < b ? a : b; }

bool ReadOnlyMode(const char* mode) { return mode[0] == 'r' && mode[1] != '+'; }

// Names a new file may take before OpenNew gives up: others may hold some.
const unsigned kNewFileNames = 1000;

void RaiseNaming(const char* message, const char* path) {
    Str text = PositionedMessage(message, path, -1, -1);
    DispatchReady(message, text.data);
}

}  // namespace

const char* StreamModeOf(const char* letters) {
    unsigned modes = LetterOn(letters, 'R') ? ModeR | ModeRPlus | ModeWPlus | ModeAPlus : AllModes;
    modes &= LetterOn(letters, 'W') ? ModeW | ModeA | ModeRPlus | ModeWPlus | ModeAPlus : ModeR;
    modes &= LetterOn(letters, 'I') ? ModeW | ModeWPlus : ModeR | ModeA | ModeRPlus | ModeAPlus;
    modes &= LetterOn(letters, 'C') ? ModeW | ModeA | ModeWPlus | ModeAPlus : ModeR | ModeRPlus;
    // Not to be read: a write-only mode when one is left.
    if (!LetterOn(letters, 'R') && (modes & (ModeW | ModeA))) modes &= ModeW | ModeA;
    unsigned preferred =
        modes & (LetterOn(letters, 'A') ? ModeA | ModeAPlus : ModeR | ModeW | ModeRPlus | ModeWPlus);
    if (preferred) modes = preferred;
    unsigned index = 0;
    while (modes && !(modes & (1u << index))) ++index;
    return kStreamModes[modes ? index : 0][LetterOn(letters, 'T') ? 1 : 0];
}

File::File()
    : stream(nullptr),
      pendingError(nullptr),
      deferCount(0),
      lineNumber(-1),
      columnNumber(-1),
      lastTransfer(None),
      exceptionsAtCreation(std::uncaught_exceptions()) {
    fileName.Release();
    modeLetters.Release();
}

File::File(const char* path, const char* letters) : File() { Open(path, letters); }

File::~File() noexcept(false) {
    // Closing with every failure kept as pending, then dropped.
    auto closeDropping = [this] {
        pendingError = nullptr;
        deferCount = 1;
        Close();
        pendingError = nullptr;
    };
    if (std::uncaught_exceptions() > exceptionsAtCreation) {
        closeDropping();
        return;
    }
    try {
        RaisePending();
    } catch (...) {
        closeDropping();
        throw;
    }
    Close();
}

File& File::Open(const char* path, const char* letters) {
    const char* mode = Prepare(letters);
    fileName = path;  // copied: it may be this File's own name
    const bool readOnly = ReadOnlyMode(mode);
    Attach(_fsopen(ToSystemText(fileName.data), mode, readOnly ? _SH_DENYWR : _SH_DENYRW));
    if (!stream) Report(LetterOn(modeLetters.data, 'C') ? CantCreateFile : FileNotFound);
    return *this;
}

File& File::OpenNew(const char* stem, const char* extension, const char* letters) {
    Str base(stem), suffix(extension);
    const char* mode = Prepare(letters);
    const int access = mode[1] == '+' ? _O_RDWR : ReadOnlyMode(mode) ? _O_RDONLY : _O_WRONLY;
    const int flags = _O_CREAT | _O_EXCL | access | (LetterOn(modeLetters.data, 'T') ? _O_TEXT : _O_BINARY);
    // Numbered as the system numbers its temporary files: from the clock on.
    static unsigned sequence = GetTickCount();
    for (unsigned tries = 0; tries < kNewFileNames && !stream; ++tries) {
        fileName = FormatStr("%s~%x%s", base.data, ++sequence & 0xFFFFFu, suffix.data);
        const int descriptor = _sopen(ToSystemText(fileName.data), flags, _SH_DENYRW, _S_IREAD | _S_IWRITE);
        if (descriptor < 0 && errno == EEXIST) continue;
        if (descriptor < 0) break;
        Attach(_fdopen(descriptor, mode));
        if (stream) break;
        _close(descriptor);
        _unlink(ToSystemText(fileName.data));
        break;
    }
    if (stream) return *this;
    fileName = Concat(base.data, suffix.data);
    Report(CantCreateFile);
    return *this;
}

const char* File::Prepare(const char* letters) {
    RaisePending();
    if (stream) Close();
    // From here on only the copy: the letters may be this File's own.
    modeLetters = letters;
    deferCount = LetterOn(modeLetters.data, 'X') ? DeferredFileErrors : 0;
    lastTransfer = None;
    return StreamModeOf(modeLetters.data);
}

void File::Attach(FILE* opened) {
    stream = opened;
    if (stream) setvbuf(stream, streamBuffer, LetterOn(modeLetters.data, 'L') ? _IOLBF : _IOFBF, FileBufferSize);
}

File& File::Close() {
    RaisePending();
    FILE* closing = stream;
    if (!closing) return *this;
    stream = nullptr;
    if (fclose(closing) != 0) {
        Report(CannotCloseFile);
        return *this;
    }
    if (LetterOn(modeLetters.data, 'D') && _unlink(ToSystemText(fileName.data)) != 0) Report(CannotDeleteFile);
    return *this;
}

File& File::Commit() {
    if (!Ready()) return *this;
    // Windows refuses to flush a handle it may not write through; nothing
    // was written through it, so nothing can be lost.
    if (ReadOnlyMode(StreamModeOf(modeLetters.data))) return *this;
    // Handing the buffer to the system is not enough: its cache is written
    // to the disk only on request.
    if (Flush(CannotFlushFile) && _commit(_fileno(stream)) != 0) Report(CannotFlushFile);
    return *this;
}

File& File::Read(void* buffer, unsigned n) {
    if (Ready()) ReadBytes(buffer, n);
    return *this;
}

Block File::ReadBlock(unsigned n) {
    Block block;
    BlockGuard guard(block);
    block.Allocate(n);
    if (block.Size() == n) Read(block.storageStart, n);
    return guard.Release();
}

Block File::ReadRest(unsigned minimum, unsigned maximum, const char* suffixFirst, const char* suffixEnd) {
    int remaining;
    if (!Ready() || !RemainingOf(remaining)) return Block();
    return ReadLeft(static_cast<unsigned>(remaining), minimum, maximum, suffixFirst, suffixEnd);
}

Block File::ReadLeft(unsigned left, unsigned minimum, unsigned maximum, const char* suffixFirst,
                     const char* suffixEnd) {
    Block block;
    if (left < minimum) {
        Report(FileTooShort);
        return block;
    }
    if (left >= maximum) {
        Report(FileTooLong);
        return block;
    }
    const unsigned suffix = static_cast<unsigned>(suffixEnd - suffixFirst);
    BlockGuard guard(block);
    const unsigned long long bytes = static_cast<unsigned long long>(left) + suffix;
    block.Allocate(bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(bytes));
    if (block.Size() == bytes) {
        ReadBytes(block.storageStart, left);
        if (suffix) memcpy(block.storageStart + left, suffixFirst, suffix);
    }
    return guard.Release();
}

File& File::Write(const void* buffer, unsigned n) {
    if (Ready()) WriteBytes(buffer, n);
    return *this;
}

unsigned File::WriteText(const char* text) {
    return Ready() ? WriteBytes(text, static_cast<unsigned>(strlen(text))) : 0;
}

unsigned File::Print(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    unsigned written = PrintV(format, arguments);
    va_end(arguments);
    return written;
}

unsigned File::PrintV(const char* format, va_list arguments) {
    if (!Ready()) return 0;
    FormatIntoBuffer(format, arguments);
    return WriteBytes(FormatBuffer, static_cast<unsigned>(strlen(FormatBuffer)));
}

File& File::Seek(int offset, int origin) {
    if (!Ready() || !Flush(CannotFlushFile)) return *this;
    lastTransfer = None;
    if (_fseeki64(stream, offset, origin) != 0) {
        Report(FileSeekError);
        return *this;
    }
    long long position;
    if (origin == SEEK_SET && (!Locate(position) || position != offset)) Report(FileSeekError);
    return *this;
}

File& File::TruncateHere() {
    if (!Ready() || !Flush(CannotFlushFile)) return *this;
    // The stream may hold bytes read ahead from what is cut off: the seek
    // to where it stands drops them.
    long long position;
    if (!Locate(position) || _chsize_s(_fileno(stream), position) != 0 ||
        _fseeki64(stream, position, SEEK_SET) != 0)
        Report(FileIsInvalid);
    return *this;
}

int File::Length() {
    int length;
    return Ready() && LengthOf(length) ? length : -1;
}

int File::Position() {
    int position;
    return Ready() && PositionOf(position) ? position : -1;
}

bool File::AtEnd() {
    int position, length;
    return Ready() && PositionOf(position) && LengthOf(length) && position >= length;
}

int File::Remaining() {
    int remaining;
    return Ready() && RemainingOf(remaining) ? remaining : -1;
}

bool File::TakeError(const char* message) {
    if (!pendingError || pendingError != message) return false;
    pendingError = nullptr;
    return true;
}

File& File::BeginDefer() {
    ++deferCount;
    return *this;
}

File& File::EndDefer() {
    if (--deferCount == 0) RaisePending();
    return *this;
}

void File::Report(const char* message) {
    if (deferCount != 0) {
        pendingError = message;
        return;
    }
    Raise(message);
}

void File::RaisePending() {
    const char* message = pendingError;
    if (!message) return;
    pendingError = nullptr;
    Raise(message);
}

void File::Raise(const char* message) {
    Str text = PositionedMessage(message, fileName.data, lineNumber, columnNumber);
    DispatchReady(message, text.data);
}

bool File::Ready() {
    RaisePending();
    if (stream) return true;
    Report(FileIsInvalid);
    return false;
}

bool File::Flush(const char* failure) {
    // A stream last read from has nothing to write, and some runtimes drop
    // its read-ahead on fflush without moving the file back.
    if (lastTransfer != Writing) return true;
    lastTransfer = None;
    if (fflush(stream) == 0) return true;
    clearerr(stream);
    Report(failure);
    return false;
}

bool File::TurnTo(Transfer direction) {
    if (lastTransfer == direction) return true;
    if (lastTransfer == Writing) {
        if (!Flush(CannotFlushFile)) return false;
    } else if (lastTransfer == Reading && _fseeki64(stream, 0, SEEK_CUR) != 0) {
        Report(FileSeekError);
        return false;
    }
    lastTransfer = direction;
    return true;
}

void File::ReadBytes(void* buffer, unsigned n) {
    if (n == 0 || !TurnTo(Reading)) return;
    if (fread(buffer, 1, n, stream) == n) return;
    // The end-of-file mark is sticky on some runtimes: clear it so that a
    // deferred error leaves the stream as usable as on the others.
    clearerr(stream);
    Report(FileTooShort);
}

unsigned File::WriteBytes(const void* buffer, unsigned n) {
    if (n == 0 || !TurnTo(Writing)) return 0;
    const unsigned written = static_cast<unsigned>(fwrite(buffer, 1, n, stream));
    if (written != n) {
        clearerr(stream);
        Report(DiskFullOnWrite);
    }
    return written;
}

bool File::Locate(long long& position) {
    position = _ftelli64(stream);
    return position >= 0;
}

bool File::LengthOf(int& length) {
    if (!Flush(FileIsInvalid)) return false;
    const long long bytes = _filelengthi64(_fileno(stream));
    if (bytes < 0 || bytes > INT_MAX) {
        Report(FileIsInvalid);
        return false;
    }
    length = static_cast<int>(bytes);
    return true;
}

bool File::PositionOf(int& position) {
    long long where;
    if (!Locate(where) || where > INT_MAX) {
        Report(FileIsInvalid);
        return false;
    }
    position = static_cast<int>(where);
    return true;
}

bool File::RemainingOf(int& remaining) {
    int length, position;
    if (!LengthOf(length) || !PositionOf(position)) return false;
    remaining = length - position;
    return true;
}

bool FileExists(const char* path) { return _access(ToSystemText(path), 0) == 0; }

void RemoveFile(const char* path) {
    if (_unlink(ToSystemText(path)) != 0) RaiseNaming(CannotDeleteFile, path);
}

void CopyFileData(File& destination, File& source, unsigned minimum, unsigned maximum) {
    source.RaisePending();
    destination.RaisePending();
    const unsigned left = static_cast<unsigned>(source.Remaining());
    if (left < minimum) {
        source.Report(FileTooShort);
        return;
    }
    unsigned count = Smaller(left, maximum);
    if (count == 0) return;
    Block transfer;
    BlockGuard guard(transfer);
    transfer.Allocate(Smaller(count, CopyChunkSize));
    const unsigned size = transfer.Size();
    while (count > 0 && size > 0) {
        const unsigned chunk = Smaller(count, size);
        source.Read(transfer.storageStart, chunk);
        destination.Write(transfer.storageStart, chunk);
        count -= chunk;
    }
}

Block ReadWholeFile(const char* path, unsigned minimum, unsigned maximum, const char* suffixFirst,
                    const char* suffixEnd) {
    File file(path, "RMlB");
    // The rest is read into a block of exactly its size: it is handed on as it
    // is. Just opened for reading, the file is read from its start: its length
    // is what is left, and asking the stream for its position would cost a
    // system call (a tenth of the time of a 4 KiB file natively).
    int length;
    Block block = file.Ready() && file.LengthOf(length)
                      ? file.ReadLeft(static_cast<unsigned>(length), minimum, maximum, suffixFirst, suffixEnd)
                      : Block();
    BlockGuard guard(block);
    file.Close();
    return guard.Release();
}

Str ReadWholeText(const char* path, unsigned minimum, unsigned maximum, const char* suffix) {
    Block block = ReadWholeFile(path, minimum, maximum, suffix, suffix + strlen(suffix) + 1);
    BlockGuard guard(block);
    Str text;
    if (block.Size() == 0) return text;
    const size_t length = strnlen(block.storageStart, block.Size());
    if (length > 0 && length + 1 == block.Size()) {
        // Terminated where the block ends: the block becomes the text.
        text.data = block.storageStart;
        block.Detach();
    } else {
        text = StrSlice(static_cast<unsigned>(length), block.storageStart);
    }
    return text;
}

const char* WriteNewFile(File& file, const char* stem, const char* extension, const char* letters,
                         const void* buffer, unsigned n) {
    // Each step only while none has failed; each failure taken from the file
    // before its next operation would raise it.
    const char* failure = nullptr;
    auto passed = [&] {
        const char* pending = file.pendingError;
        file.pendingError = nullptr;
        if (!failure) failure = pending;
        return !failure;
    };
    file.OpenNew(stem, extension, Concat(letters, "X").data);
    const bool made = file.stream != nullptr;
    if (passed()) file.Write(buffer, n);
    if (passed()) file.Commit();
    passed();
    file.Close();
    passed();
    if (failure && made) _unlink(ToSystemText(file.fileName.data));
    return failure;
}

void WriteWholeFile(const char* path, const void* buffer, unsigned n) {
    File temporary;
    const char* failure = WriteNewFile(temporary, path, ".tmp", "CIRWMlB", buffer, n);
    if (!failure && !MoveFileExA(ToSystemText(temporary.fileName.data), ToSystemText(path),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        _unlink(ToSystemText(temporary.fileName.data));
        failure = CantCreateFile;
    }
    if (failure) RaiseNaming(failure, path);
}

Str PositionedMessage(const char* message, const char* source, int line, int column) {
    const char* text = MessageText(message);
    const bool named = source && source[0];
    switch ((named ? 4 : 0) | (line >= 0 ? 2 : 0) | (column >= 0 ? 1 : 0)) {
        case 1: return FormatStr("Column %d: %s", column, text);
        case 2: return FormatStr("Line %d: %s", line, text);
        case 3: return FormatStr("Line %d/%d: %s", line, column, text);
        case 4: return FormatStr("%s: %s", source, text);
        case 5: return FormatStr("%s (column %d): %s", source, column, text);
        case 6: return FormatStr("%s (%d): %s", source, line, text);
        case 7: return FormatStr("%s (%d/%d): %s", source, line, column, text);
        default: return Str(text);
    }
}
