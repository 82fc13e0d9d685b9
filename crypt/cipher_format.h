#pragma once

// The layout of an encrypted file (version 1). All integers are little-endian.
//
//   offset size  field
//        0    8  magic "PLMCRYPT"
//        8    1  format version (1)
//        9    1  key derivation algorithm (2: Argon2id v1.3)
//       10    2  reserved, zero
//       12    4  Argon2id passes (opslimit)
//       16    4  Argon2id memory in KiB (memlimit / 1024)
//       20   16  salt of the password's key
//       36   16  per-file value: the file key is BLAKE2b-256 keyed by the password's key over
//                bytes 0..51 of this header
//       52   24  XChaCha20-Poly1305 secretstream header
//       76  ...  the body: the plain bytes in chunks of 64 KiB, each sealed by the secretstream
//                (17 bytes more per chunk); the first chunk authenticates the whole header as
//                additional data, the last (possibly empty, never followed by anything) carries
//                the final tag.


#include <cstddef>
#include <cstdint>

namespace cipher::format {

inline constexpr char kMagic[8] = { 'P', 'L', 'M', 'C', 'R', 'Y', 'P', 'T' };
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint8_t kAlgArgon2id13 = 2;

inline constexpr std::size_t kOffVersion = 8;
inline constexpr std::size_t kOffAlg = 9;
inline constexpr std::size_t kOffReserved = 10;
inline constexpr std::size_t kOffOps = 12;
inline constexpr std::size_t kOffMem = 16;
inline constexpr std::size_t kOffSalt = 20;
inline constexpr std::size_t kOffFileNonce = 36;
inline constexpr std::size_t kOffStreamHeader = 52;
inline constexpr std::size_t kHeaderBytes = 76;

inline constexpr std::size_t kSaltBytes = 16;
inline constexpr std::size_t kFileNonceBytes = 16;
inline constexpr std::size_t kStreamHeaderBytes = 24;
inline constexpr std::size_t kKeyBytes = 32;

inline constexpr std::size_t kChunkBytes = 64 * 1024;
inline constexpr std::size_t kChunkOverhead = 17;

/// Argon2id cost of new files: 3 passes over 64 MiB, about a quarter second here, paid once per
/// run and password.
inline constexpr std::uint32_t kDefaultOps = 3;
inline constexpr std::uint32_t kDefaultMemKiB = 64 * 1024;

/// The most a file's header may ask for; beyond it the file is refused before any memory is
/// taken, so a hostile file cannot make us allocate gigabytes or spin for minutes.
inline constexpr std::uint32_t kMaxOps = 8;
inline constexpr std::uint32_t kMaxMemKiB = 512 * 1024;
/// Argon2's own minimum (8 KiB).
inline constexpr std::uint32_t kMinMemKiB = 8;

} // namespace cipher::format
