// Bounded readers for version information, used by the simulated Windows to
// stand in for version.dll. Pure byte-level code: every input may be hostile,
// every read is checked against the sizes given, and malformed data simply
// reads as "not there".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace verinfo {

// Locates the data of the first RT_VERSION resource (first name, first
// language) of a PE image (PE32 or PE32+) held as file bytes. On success
// *offset/*length give the data's position in the image (length > 0).
bool FindPeVersionResource(const uint8_t* image, size_t size, size_t* offset, size_t* length);

// Locates the version data of a Windows 9x VxD: the LE header named by the
// DWORD at 0x3C holds at +0xB8/+0xBC the file offset and length of the version
// resource, a 12-byte resource header whose DWORD at +8 is the size of the
// 16-bit version block that follows it. On success *offset/*length give that
// block's position in the image (length > 0).
bool FindVxdVersionResource(const uint8_t* image, size_t size, size_t* offset, size_t* length);

// VerQueryValueA over a version block of blockSize bytes, in the 32-bit layout
// (executables) or the 16-bit layout (VxD data), told apart by the root key's
// first byte. subBlock: "\" for the VS_FIXEDFILEINFO, "\VarFileInfo\Translation",
// "\StringFileInfo\<lang+cp>\<name>"; keys compare case-insensitively.
//
// Binary values are returned in place with their length in bytes. String
// values come back as the system hands them out: 8-bit text with *length as
// stored in the node (wValueLength), which counts a terminator only when the
// file holds one. A 16-bit block's strings are returned in place; a UTF-16
// string of a 32-bit block is converted into the block's second half (the
// text of a string at offset o is written at rawSize + o, rawSize being the
// root node's length), so a 32-bit block must be at least twice its raw size
// for string queries. Characters above 0xFF become '?'. A node without a
// value is found, with length 0. length may be null.
bool QueryValue(void* block, uint32_t blockSize, const std::string& subBlock, const void** value,
                uint32_t* length);

}  // namespace verinfo
