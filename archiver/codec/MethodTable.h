// The compression methods we read, one row each: the five-character id of the
// header, the dictionary, and the decoder. Commands and the format never
// switch on a method id: they look it up here.
//
// An id is held as its three letters between the dashes ("lh5" for "-lh5-"),
// and the dashes are checked apart: a program that carries this table (the
// self-extractor's stub) then holds no five bytes that look like a method
// mark, which readers of self-extracting files would take for the archive.
#pragma once
#include "archiver/codec/ByteStream.h"
#include "archiver/codec/DecodeStatus.h"

#include <cstdint>
#include <string>

namespace lha {

// Every decoder reads at most `packedSize` bytes from `packed` and writes
// exactly `originalSize` bytes to `out`, or fails; memory is its window and
// fixed tables, never sized by either size. `dictionaryBits` is the row's.
using DecodeFunction = DecodeStatus (*)(unsigned dictionaryBits, ByteSource& packed, uint64_t packedSize,
                                        uint64_t originalSize, ByteSink& out);

enum class MethodKind {
    Stored,  // the data as it is
    Packed,  // the decoder unpacks it
    Folder,  // -lhd-: a folder (or a Unix link), no data
};

struct Method {
    const char* letters;      // the id between its dashes, e.g. "lh5"
    MethodKind kind;
    unsigned dictionaryBits;  // log2 of the window; 0 for stored data and folders
    DecodeFunction decode;    // null for folders
};

// The row of `id`, or null for a method we do not read (reported per member).
const Method* FindMethod(const std::string& id);

// Whether `id` is the method id of `letters` ("-" letters "-").
bool IsMethodId(const std::string& id, const char* letters);

// The five-character id of `letters`.
std::string MethodId(const char* letters);

} // namespace lha
