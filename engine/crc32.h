// CRC-32 as zip, zlib, PNG and 7-Zip compute it: reflected polynomial 0xEDB88320, initial
// value and final xor 0xFFFFFFFF ("123456789" gives 0xCBF43926). Every value passed in and
// returned is a finished CRC, so one call can go on where another stopped: the CRC of no
// bytes is 0.
//   crc32_update          - by the fastest path this processor and system allow
//   crc32_table           - slicing-by-8 tables, for any processor
//   crc32_clmul           - carry-less multiply (PCLMULQDQ); only where crc32_clmul_usable
//   crc32_clmul_usable    - the processor has PCLMULQDQ and SSE2 and the system saves the
//                           XMM registers across thread switches
//   crc32_combine         - the CRC of A followed by B from the CRCs of A and B and B's length
#ifndef SLIVERDISK_CRC32_H
#define SLIVERDISK_CRC32_H

#include <cstddef>
#include <cstdint>

uint32_t crc32_update(uint32_t crc, const void* data, size_t size);
uint32_t crc32_table(uint32_t crc, const void* data, size_t size);
uint32_t crc32_clmul(uint32_t crc, const void* data, size_t size);
bool crc32_clmul_usable();
uint32_t crc32_combine(uint32_t first, uint32_t second, uint64_t second_size);

#endif
