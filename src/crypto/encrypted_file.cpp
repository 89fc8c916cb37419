#include "crypto/encrypted_file.h"

#include "util/big_endian.h"
#include "util/failure_reason.h"
#include "util/folder_paths.h"
#include "util/utf16.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The calendar years that file times counted in 100 ns from 1601 can hold: a time inside them can
// be set on a restored file by every reader of the format, whatever platform it runs on.
constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;
constexpr std::size_t kCopyPieceSize = 65536;

std::string Hex32(std::uint32_t value)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::vector<unsigned char> EncodeHeader(const SContainerHeader& header, std::u16string_view name)
{
    std::vector<unsigned char> bytes(kContainerHeaderSize + 2 * name.size());
    std::span<unsigned char> out(bytes);
    std::memcpy(out.data(), header.m_magic.data(), header.m_magic.size());
    WriteU32(out.subspan(4), header.m_nVersion);
    WriteU32(out.subspan(8), header.m_nReserved);
    const FileTimeRecord& time = header.m_time;
    const std::uint16_t fields[] = {time.m_nYear,       time.m_nMonth,  time.m_nDay,
                                    time.m_nHour,       time.m_nMinute, time.m_nSecond,
                                    time.m_nMillisecond};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        WriteU16(out.subspan(12 + 2 * i), fields[i]);
    std::memcpy(out.data() + 26, header.m_keyGuid.data(), header.m_keyGuid.size());
    std::memcpy(out.data() + 58, header.m_reserved.data(), header.m_reserved.size());
    WriteU32(out.subspan(60), header.m_nNameLength);
    for (std::size_t i = 0; i < name.size(); ++i)
        WriteU16(out.subspan(kContainerHeaderSize + 2 * i), name[i]);
    return bytes;
}

SContainerHeader DecodeHeader(std::span<const unsigned char> in)
{
    SContainerHeader header;
    std::memcpy(header.m_magic.data(), in.data(), header.m_magic.size());
    header.m_nVersion = ReadU32(in.subspan(4));
    header.m_nReserved = ReadU32(in.subspan(8));
    std::uint16_t* fields[] = {&header.m_time.m_nYear,       &header.m_time.m_nMonth,
                               &header.m_time.m_nDay,        &header.m_time.m_nHour,
                               &header.m_time.m_nMinute,     &header.m_time.m_nSecond,
                               &header.m_time.m_nMillisecond};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = ReadU16(in.subspan(12 + 2 * i));
    std::memcpy(header.m_keyGuid.data(), in.data() + 26, header.m_keyGuid.size());
    std::memcpy(header.m_reserved.data(), in.data() + 58, header.m_reserved.size());
    header.m_nNameLength = ReadU32(in.subspan(60));
    return header;
}

// True when keyRecords is a run of length-prefixed records of 1 to 1024 bytes each, so that
// none of them can be mistaken for the end mark or refused by a reader.
bool AreKeyRecords(std::span<const unsigned char> keyRecords)
{
    while (!keyRecords.empty()) {
        if (keyRecords.size() < 4)
            return false;
        const std::uint64_t size = ReadU32(keyRecords);
        if (size == 0 || size > kMaxKeyRecordSize || size > keyRecords.size() - 4)
            return false;
        keyRecords = keyRecords.subspan(4 + size);
    }
    return true;
}

// Writes all bytes at offset, retrying short writes and interrupted calls.
bool WriteAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

} // namespace

bool FileTimeFromTimespec(const timespec& time, FileTimeRecord& record)
{
    std::tm fields {};
    if (::gmtime_r(&time.tv_sec, &fields) == nullptr)
        return false;
    const long long year = 1900LL + fields.tm_year;
    if (year < kFirstYear || year > kLastYear)
        return false;
    record.m_nYear = static_cast<std::uint16_t>(year);
    record.m_nMonth = static_cast<std::uint16_t>(fields.tm_mon + 1);
    record.m_nDay = static_cast<std::uint16_t>(fields.tm_mday);
    record.m_nHour = static_cast<std::uint16_t>(fields.tm_hour);
    record.m_nMinute = static_cast<std::uint16_t>(fields.tm_min);
    record.m_nSecond = static_cast<std::uint16_t>(fields.tm_sec);
    record.m_nMillisecond = static_cast<std::uint16_t>(time.tv_nsec / 1000000);
    return true;
}

bool FileTimeToTimespec(const FileTimeRecord& record, timespec& time)
{
    if (record.m_nYear < kFirstYear || record.m_nYear > kLastYear || record.m_nMillisecond > 999)
        return false;
    std::tm fields {};
    fields.tm_year = record.m_nYear - 1900;
    fields.tm_mon = record.m_nMonth - 1;
    fields.tm_mday = record.m_nDay;
    fields.tm_hour = record.m_nHour;
    fields.tm_min = record.m_nMinute;
    fields.tm_sec = record.m_nSecond;
    const std::time_t seconds = ::timegm(&fields);
    // timegm quietly carries out-of-range fields into the next ones; a real moment comes back
    // with the same fields it was given.
    std::tm check {};
    if (::gmtime_r(&seconds, &check) == nullptr || check.tm_year != fields.tm_year ||
        check.tm_mon != record.m_nMonth - 1 || check.tm_mday != record.m_nDay ||
        check.tm_hour != record.m_nHour || check.tm_min != record.m_nMinute ||
        check.tm_sec != record.m_nSecond)
        return false;
    time.tv_sec = seconds;
    time.tv_nsec = static_cast<long>(record.m_nMillisecond) * 1000000;
    return true;
}

CEncryptedFile::CEncryptedFile() = default;

bool CEncryptedFile::Fail(std::string text)
{
    m_bError = true;
    m_szErrorText = std::move(text);
    return false;
}

int CEncryptedFile::FailRead(std::string text)
{
    Fail(std::move(text));
    return -1;
}

bool CEncryptedFile::CanWrite() const
{
    return m_bOpen && m_mode == EOpenMode::Write && !m_bError && m_tempFile;
}

bool CEncryptedFile::Open(const std::string& path, EOpenMode mode)
{
    if (m_bOpen)
        return Fail("the container is already open");
    m_header = {};
    m_szName.clear();
    m_wszName.clear();
    m_bError = false;
    m_bTrailerWritten = false;
    m_nKeyBlockOffset = 0;
    m_nKeyBlockSize = 0;
    m_szErrorText.clear();
    m_mode = mode;
    m_szDestPath = path;
    if (mode == EOpenMode::Write) {
        m_tempFile = NewTempFileFor(path);
        if (!m_tempFile)
            return Fail("cannot make a temporary file in " + g_szTempFolder + ": " + ErrnoText());
    } else {
        m_readFile = CUniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!m_readFile.IsOpen())
            return Fail("cannot open the container: " + ErrnoText());
    }
    m_bOpen = true;
    return true;
}

bool CEncryptedFile::SetSourceName(const std::string& sourcePath)
{
    const std::size_t slash = sourcePath.rfind('/');
    std::string name = slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
    std::u16string wideName;
    if (!Utf8ToUtf16(name, wideName))
        return Fail("the source file name is not valid UTF-8");
    if (wideName.size() > kMaxNameUnits)
        return Fail("the source file name is longer than 260 UTF-16 code units");
    m_szName = std::move(name);
    m_wszName = std::move(wideName);
    m_header.m_nNameLength = static_cast<std::uint32_t>(m_wszName.size());
    return true;
}

bool CEncryptedFile::SetKeyGuid(std::string_view guid)
{
    if (guid.size() != kContainerGuidSize)
        return Fail("the key GUID is not 32 characters long");
    std::copy(guid.begin(), guid.end(), m_header.m_keyGuid.begin());
    return true;
}

std::string CEncryptedFile::GetKeyGuid() const
{
    return std::string(m_header.m_keyGuid.data(), m_header.m_keyGuid.size());
}

bool CEncryptedFile::WriteHeader(const FileTimeRecord& times)
{
    if (!CanWrite())
        return Fail("the container is not open for writing");
    m_header.m_time = times;
    const std::vector<unsigned char> bytes = EncodeHeader(m_header, m_wszName);
    if (!m_tempFile.Write(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
        return Fail("cannot write the temporary container: " + ErrnoText());
    m_recordBuf.reserve(4 + kMaxRecordBlockSize);
    m_recordBuf.assign(4, 0);
    return true;
}

bool CEncryptedFile::OpenRecordFile()
{
    if (!CanWrite())
        return Fail("the container is not open for writing");
    m_recordFile = NewTempFile();
    if (!m_recordFile)
        return Fail("cannot make a temporary file in " + g_szTempFolder + ": " + ErrnoText());
    return true;
}

bool CEncryptedFile::ReserveKeyBlock(std::size_t keyBlockSize)
{
    if (!CanWrite() || m_recordBuf.empty())
        return Fail("the container is not open for writing");
    if (m_recordFile || m_nKeyBlockSize != 0 || keyBlockSize < 4)
        return Fail("the room for the key block cannot be kept");
    const off_t offset = ::lseek(m_tempFile.GetFd(), 0, SEEK_CUR);
    if (offset < 0)
        return Fail("cannot write the temporary container: " + ErrnoText());
    if (!m_tempFile.Write(std::string(keyBlockSize, '\0')))
        return Fail("cannot write the temporary container: " + ErrnoText());
    m_nKeyBlockOffset = static_cast<std::uint64_t>(offset);
    m_nKeyBlockSize = keyBlockSize;
    return true;
}

std::size_t CEncryptedFile::RecordBytesUsed() const
{
    return m_recordBuf.empty() ? 0 : m_recordBuf.size() - 4;
}

bool CEncryptedFile::WriteRecordBlock()
{
    const std::size_t used = RecordBytesUsed();
    if (used == 0)
        return true;
    WriteU32(m_recordBuf, static_cast<std::uint32_t>(used));
    const std::string_view block(reinterpret_cast<const char*>(m_recordBuf.data()),
                                 m_recordBuf.size());
    const bool toRecordFile = static_cast<bool>(m_recordFile);
    const bool written = toRecordFile ? m_recordFile.Write(block) : m_tempFile.Write(block);
    m_recordBuf.resize(4);
    if (!written)
        return Fail(std::string("cannot write the temporary ") +
                    (toRecordFile ? "record file: " : "container: ") + ErrnoText());
    return true;
}

bool CEncryptedFile::AddRecord(std::span<const unsigned char> head,
                               std::span<const unsigned char> tail)
{
    if (!CanWrite() || !HasRecordSink() || m_recordBuf.empty())
        return Fail("the record file is not open");
    const std::uint64_t size = kChunkRecordPrefixSize + std::uint64_t {head.size()} + tail.size();
    if (size > kMaxRecordBlockSize)
        return Fail("a chunk record of " + std::to_string(size) +
                    " bytes does not fit a record block of 131072 bytes");
    if (RecordBytesUsed() + size > kMaxRecordBlockSize && !WriteRecordBlock())
        return false;
    const std::size_t at = m_recordBuf.size();
    m_recordBuf.resize(at + kChunkRecordPrefixSize);
    WriteU32(std::span(m_recordBuf).subspan(at), static_cast<std::uint32_t>(head.size()));
    WriteU32(std::span(m_recordBuf).subspan(at + 4), static_cast<std::uint32_t>(tail.size()));
    m_recordBuf.insert(m_recordBuf.end(), head.begin(), head.end());
    m_recordBuf.insert(m_recordBuf.end(), tail.begin(), tail.end());
    return true;
}

bool CEncryptedFile::FlushRecords()
{
    if (!CanWrite() || !HasRecordSink())
        return Fail("the record file is not open");
    return WriteRecordBlock();
}

bool CEncryptedFile::CopyRecordFile()
{
    // The record file stays open for reading and writing from its creation, so nobody can swap
    // another file in under its name before it is copied.
    if (::lseek(m_recordFile.GetFd(), 0, SEEK_SET) != 0)
        return Fail("cannot read the temporary record file: " + ErrnoText());
    std::vector<char> piece(kCopyPieceSize);
    for (;;) {
        const long long got = ReadFull(m_recordFile.GetFd(), piece.data(), piece.size());
        if (got < 0)
            return Fail("cannot read the temporary record file: " + ErrnoText());
        if (got == 0)
            return true;
        if (!m_tempFile.Write(std::string_view(piece.data(), static_cast<std::size_t>(got))))
            return Fail("cannot write the temporary container: " + ErrnoText());
    }
}

bool CEncryptedFile::WriteReservedTrailer(std::span<const unsigned char> keyRecords)
{
    if (keyRecords.size() + 4 != m_nKeyBlockSize)
        return Fail("the key records do not fill the room kept for them");
    std::string endMark;
    AppendU32(endMark, 0);
    if (!m_tempFile.Write(endMark))
        return Fail("cannot write the temporary container: " + ErrnoText());
    std::string keyBlock(reinterpret_cast<const char*>(keyRecords.data()), keyRecords.size());
    AppendU32(keyBlock, 0);
    if (!WriteAllAt(m_tempFile.GetFd(), keyBlock.data(), keyBlock.size(), m_nKeyBlockOffset))
        return Fail("cannot write the temporary container: " + ErrnoText());
    m_bTrailerWritten = true;
    return true;
}

bool CEncryptedFile::WriteTrailer(std::span<const unsigned char> keyRecords)
{
    if (!FlushRecords())
        return false;
    if (!AreKeyRecords(keyRecords))
        return Fail("the key records are not length-prefixed records of 1 to 1024 bytes");
    if (m_nKeyBlockSize != 0)
        return WriteReservedTrailer(keyRecords);
    std::string keyBlock(reinterpret_cast<const char*>(keyRecords.data()), keyRecords.size());
    AppendU32(keyBlock, 0);
    if (!m_tempFile.Write(keyBlock))
        return Fail("cannot write the temporary container: " + ErrnoText());
    if (!CopyRecordFile())
        return false;
    std::string endMark;
    AppendU32(endMark, 0);
    if (!m_tempFile.Write(endMark))
        return Fail("cannot write the temporary container: " + ErrnoText());
    DiscardTempFile(m_recordFile);
    m_bTrailerWritten = true;
    return true;
}

bool CEncryptedFile::Close()
{
    if (!m_bOpen)
        return Fail("the container is not open");
    m_bOpen = false;
    m_recordBuf.clear();
    DiscardTempFile(m_recordFile);
    if (m_mode == EOpenMode::Read) {
        m_readFile.Close();
        return !m_bError;
    }
    if (!m_bError && !m_bTrailerWritten)
        Fail("the container was closed before it was complete");
    if (m_bError) {
        DiscardTempFile(m_tempFile);
        return false;
    }
    if (!ReplaceFromTempFile(m_tempFile, m_szDestPath, EFileAccess::Shared))
        return Fail("cannot put the container at " + m_szDestPath + ": " + ErrnoText());
    return true;
}

bool CEncryptedFile::ReadExactly(std::span<unsigned char> bytes, const char* where)
{
    const long long got = ReadFull(m_readFile.Get(), bytes.data(), bytes.size());
    if (got < 0)
        return Fail("cannot read the container: " + ErrnoText());
    if (static_cast<std::size_t>(got) < bytes.size())
        return Fail(std::string("damaged container (cut short in the ") + where + ")");
    return true;
}

bool CEncryptedFile::ReadHeader(FileTimeRecord& times)
{
    if (!m_bOpen || m_mode != EOpenMode::Read)
        return Fail("the container is not open for reading");
    std::array<unsigned char, kContainerHeaderSize> bytes {};
    const long long got = ReadFull(m_readFile.Get(), bytes.data(), bytes.size());
    if (got < 0)
        return Fail("cannot read the container: " + ErrnoText());
    if (static_cast<std::size_t>(got) < bytes.size())
        return Fail("not a container (shorter than its 64-byte header)");
    m_header = DecodeHeader(bytes);
    if (m_header.m_magic != kContainerMagic)
        return Fail("not a container (bad magic)");
    if (m_header.m_nVersion > kContainerVersion)
        return Fail("unsupported container (format version " + Hex32(m_header.m_nVersion) +
                    " is newer than 0x01000000)");
    if (m_header.m_nNameLength > kMaxNameUnits)
        return Fail("damaged container (source name of " + std::to_string(m_header.m_nNameLength) +
                    " UTF-16 code units, more than 260)");

    std::vector<unsigned char> nameBytes(2 * std::size_t {m_header.m_nNameLength});
    if (!ReadExactly(nameBytes, "source name"))
        return false;
    std::u16string wideName(m_header.m_nNameLength, u'\0');
    for (std::size_t i = 0; i < wideName.size(); ++i)
        wideName[i] = static_cast<char16_t>(ReadU16(std::span(nameBytes).subspan(2 * i)));
    if (!Utf16ToUtf8(wideName, m_szName))
        return Fail("damaged container (the source name is not valid UTF-16)");
    m_wszName = std::move(wideName);
    times = m_header.m_time;
    return true;
}

int CEncryptedFile::ReadKeyRecord(std::span<unsigned char> buffer)
{
    std::array<unsigned char, 4> lengthBytes {};
    if (!m_bOpen || m_mode != EOpenMode::Read || !ReadExactly(lengthBytes, "key block"))
        return -1;
    const std::uint32_t length = ReadU32(lengthBytes);
    if (length == 0)
        return 0;
    // Taken as a signed 32-bit count, a length with its top bit set is negative: a failure, never
    // the end mark.
    if (length > 0x7FFFFFFF)
        return FailRead("damaged container (key record length " + Hex32(length) + " is negative)");
    if (length > kMaxKeyRecordSize)
        return FailRead("damaged container (key record longer than 1024 bytes)");
    if (length > buffer.size())
        return FailRead("damaged container (key record longer than the reader's buffer)");
    if (!ReadExactly(buffer.first(length), "key block"))
        return -1;
    return static_cast<int>(length);
}

std::uint64_t CEncryptedFile::GetBytesLeft() const
{
    struct stat status {};
    const off_t at = ::lseek(m_readFile.Get(), 0, SEEK_CUR);
    if (at < 0 || ::fstat(m_readFile.Get(), &status) != 0 || status.st_size < at)
        return 0;
    return static_cast<std::uint64_t>(status.st_size - at);
}

int CEncryptedFile::ReadBlock(std::span<unsigned char> buffer)
{
    std::array<unsigned char, 4> lengthBytes {};
    if (!m_bOpen || m_mode != EOpenMode::Read || !ReadExactly(lengthBytes, "data section"))
        return -1;
    const std::uint32_t length = ReadU32(lengthBytes);
    if (length == 0)
        return 0;
    if (length > kMaxRecordBlockSize)
        return FailRead("damaged container (record block longer than 131072 bytes)");
    if (length > buffer.size())
        return FailRead("damaged container (record block longer than the reader's buffer)");
    if (!ReadExactly(buffer.first(length), "data section"))
        return -1;
    return static_cast<int>(length);
}
