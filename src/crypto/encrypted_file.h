#pragma once

#include "util/temp_file.h"
#include "util/unique_fd.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Container layout (".enp"). Every integer is unsigned big-endian: u32 = 4 bytes, u16 = 2 bytes.
//
//   offset  size  header (64 bytes)
//        0     4  magic "TVPE" (case matters)
//        4     4  format version, u32, written 0x01000000; readers take up to 0x01000000
//        8     4  reserved u32, written 0, ignored
//       12    14  source file's last-write time, UTC: year, month, day, hour, minute, second,
//                 millisecond, seven u16 (FileTimeRecord)
//       26    32  recipient's key GUID, 32 ASCII characters, no terminator
//       58     2  reserved, written 0, ignored
//       60     4  L: source file name length in UTF-16 code units, u32, at most 260
//       64    2L  source file name (no folder), UTF-16 code units as u16, no terminator, no BOM
//
//   key block:    key records (u32 n, 1 <= n <= 1024, then n bytes), then u32 0
//   data section: record blocks (u32 b, 1 <= b <= 131072, then b bytes), then u32 0
//                 A record block holds whole chunk records back to back, nothing else:
//                   u32 H, u32 T, H bytes of head, T bytes of tail   (8 + H + T bytes)
//                 A 0-byte source gives no record block at all.
//   nothing follows the data section's end mark.
//
// The key block carries the total ciphertext length, known only after the last chunk, yet stands
// in front of the chunks. So the writer either gathers the record blocks in a second temporary
// file (the record file) and copies them behind the key block at the end, or, when the key
// block's size is known beforehand (its RSA blocks are as long as the recipient's modulus), keeps
// room for it, writes the record blocks straight behind and fills the room last: one pass.

inline constexpr std::array<char, 4> kContainerMagic {'T', 'V', 'P', 'E'};
inline constexpr std::uint32_t kContainerVersion = 0x01000000;
inline constexpr std::size_t kContainerHeaderSize = 64;
inline constexpr std::size_t kContainerGuidSize = 32;
inline constexpr std::size_t kMaxNameUnits = 260;
inline constexpr std::size_t kMaxKeyRecordSize = 1024;
inline constexpr std::size_t kMaxRecordBlockSize = 131072;
inline constexpr std::size_t kChunkRecordPrefixSize = 8;

// A calendar time in UTC, to the millisecond: header bytes 12 to 25 in host order.
struct FileTimeRecord {
    std::uint16_t m_nYear = 0;
    std::uint16_t m_nMonth = 0;
    std::uint16_t m_nDay = 0;
    std::uint16_t m_nHour = 0;
    std::uint16_t m_nMinute = 0;
    std::uint16_t m_nSecond = 0;
    std::uint16_t m_nMillisecond = 0;

    bool operator==(const FileTimeRecord&) const = default;
};

// The UTC calendar fields of a file time, milliseconds truncated. False for a time outside the
// years 1601 to 30827, the range every reader of the format can turn back into a file time.
[[nodiscard]] bool FileTimeFromTimespec(const timespec& time, FileTimeRecord& record);

// The moment a record names. False when the record names no real moment (month 13, 30 February,
// second 60, millisecond 1000, or a year outside 1601 to 30827).
[[nodiscard]] bool FileTimeToTimespec(const FileTimeRecord& record, timespec& time);

// The header in host byte order.
struct SContainerHeader {
    std::array<char, 4> m_magic = kContainerMagic;
    std::uint32_t m_nVersion = kContainerVersion;
    std::uint32_t m_nReserved = 0;
    FileTimeRecord m_time;
    std::array<char, kContainerGuidSize> m_keyGuid {};
    std::array<unsigned char, 2> m_reserved {};
    std::uint32_t m_nNameLength = 0;
};

// Writes or reads one container piece by piece; the cryptography is the caller's.
//
// Writing: Open(dest, Write), SetSourceName, SetKeyGuid, WriteHeader, OpenRecordFile or
// ReserveKeyBlock, AddRecord per chunk, FlushRecords, WriteTrailer, Close. The container grows in
// a temporary file (NewTempFileFor the destination, so it moves there without a copy); Close
// puts it at the destination in one step, and only when every step succeeded and the trailer is
// written. An object dropped without a successful Close leaves nothing behind: no container at the
// destination, no temporary file.
//
// Reading: Open(path, Read), ReadHeader, ReadKeyRecord until 0, ReadBlock until 0, Close.
//
// A failing step keeps a reason in GetErrorText, naming the file kind and the fault.
class CEncryptedFile {
public:
    enum class EOpenMode { Write, Read };

    CEncryptedFile();
    CEncryptedFile(const CEncryptedFile&) = delete;
    CEncryptedFile& operator=(const CEncryptedFile&) = delete;

    [[nodiscard]] bool Open(const std::string& path, EOpenMode mode);

    // The name stored is the part of sourcePath after its last '/'. False when it is not UTF-8
    // or longer than 260 UTF-16 code units.
    [[nodiscard]] bool SetSourceName(const std::string& sourcePath);
    // False unless guid has exactly 32 characters.
    [[nodiscard]] bool SetKeyGuid(std::string_view guid);
    [[nodiscard]] bool WriteHeader(const FileTimeRecord& times);
    [[nodiscard]] bool OpenRecordFile();
    // Instead of OpenRecordFile: keeps keyBlockSize bytes for the key block (its records and its
    // end mark) behind the header and writes the record blocks straight behind them. WriteTrailer
    // must then fill exactly that room.
    [[nodiscard]] bool ReserveKeyBlock(std::size_t keyBlockSize);
    // Appends one chunk record; a record that would overflow the current block first sends the
    // block to the record file. A record larger than a whole block is refused.
    [[nodiscard]] bool AddRecord(std::span<const unsigned char> head,
                                 std::span<const unsigned char> tail);
    [[nodiscard]] bool FlushRecords();
    // keyRecords: the key records, each already length-prefixed.
    [[nodiscard]] bool WriteTrailer(std::span<const unsigned char> keyRecords);
    // For a written container, the commit: true when the container now stands at the destination.
    [[nodiscard]] bool Close();

    // Fills times and the names; the key GUID stays in the header (GetKeyGuid).
    [[nodiscard]] bool ReadHeader(FileTimeRecord& times);
    // Length of the next key record (its bytes at the start of buffer), 0 at the end mark,
    // -1 on failure. buffer must hold the record (kMaxKeyRecordSize is always enough).
    [[nodiscard]] int ReadKeyRecord(std::span<unsigned char> buffer);
    // Length of the next record block (its bytes at the start of buffer), 0 at the end mark,
    // -1 on failure. buffer must hold the block (kMaxRecordBlockSize is always enough).
    [[nodiscard]] int ReadBlock(std::span<unsigned char> buffer);

    // The bytes of a container being read that lie behind what has been read so far.
    std::uint64_t GetBytesLeft() const;

    // The source name without folder, in UTF-8 and in UTF-16.
    const std::string& GetName() const { return m_szName; }
    const std::u16string& GetWideName() const { return m_wszName; }
    std::string GetKeyGuid() const;
    bool HasError() const { return m_bError; }
    const std::string& GetErrorText() const { return m_szErrorText; }

private:
    bool Fail(std::string text);
    int FailRead(std::string text);
    bool CanWrite() const;
    bool ReadExactly(std::span<unsigned char> bytes, const char* where);
    bool WriteRecordBlock();
    bool HasRecordSink() const { return m_recordFile || m_nKeyBlockSize != 0; }
    bool WriteReservedTrailer(std::span<const unsigned char> keyRecords);
    bool CopyRecordFile();
    std::size_t RecordBytesUsed() const;

    SContainerHeader m_header;
    std::string m_szName;
    std::u16string m_wszName;
    bool m_bError = false;
    bool m_bTrailerWritten = false;
    bool m_bOpen = false;
    // Where the room for the key block starts, and its size; 0 when none is kept.
    std::uint64_t m_nKeyBlockOffset = 0;
    std::size_t m_nKeyBlockSize = 0;
    EOpenMode m_mode = EOpenMode::Read;
    CTempFile m_tempFile; // the container being written
    CUniqueFd m_readFile; // the container being read
    std::string m_szDestPath;
    // Starts with room for the block's u32 length, so a block goes out in one write.
    std::vector<unsigned char> m_recordBuf;
    CTempFile m_recordFile;
    std::string m_szErrorText;
};
