#include "archiver/codec/MethodTable.h"

#include "archiver/codec/Decoder.h"
#include "archiver/codec/Lh1Decoder.h"
#include "archiver/codec/Lk7Decoder.h"
#include "archiver/codec/Lz5Decoder.h"
#include "archiver/codec/LzsDecoder.h"
#include "archiver/codec/Pm1Decoder.h"
#include "archiver/codec/Pm2Decoder.h"
#include "archiver/codec/StoredDecoder.h"

#include <cstring>

namespace lha {

namespace {

const size_t kMethodIdLength = 5;
const char kMethodDash = '-';

const Method kMethods[] = {
    {"lh0", MethodKind::Stored, 0, DecodeStored},
    {"lz4", MethodKind::Stored, 0, DecodeStored},
    {"pm0", MethodKind::Stored, 0, DecodeStored},
    {"pm1", MethodKind::Packed, kPm1DictionaryBits, DecodePm1},
    {"pm2", MethodKind::Packed, kPm2DictionaryBits, DecodePm2},
    {"lhd", MethodKind::Folder, 0, nullptr},
    {"lh1", MethodKind::Packed, kLh1DictionaryBits, DecodeLh1},
    {"lzs", MethodKind::Packed, kLzsDictionaryBits, DecodeLzs},
    {"lz5", MethodKind::Packed, kLz5DictionaryBits, DecodeLz5},
    {"lh4", MethodKind::Packed, kLh4DictionaryBits, DecodeMember},
    {"lh5", MethodKind::Packed, kLh5DictionaryBits, DecodeMember},
    {"lh6", MethodKind::Packed, kLh6DictionaryBits, DecodeMember},
    {"lh7", MethodKind::Packed, kLh7DictionaryBits, DecodeMember},
    {"lk7", MethodKind::Packed, kLk7DictionaryBits, DecodeLk7},
};

} // namespace

const Method* FindMethod(const std::string& id)
{
    for (const Method& method : kMethods)
        if (IsMethodId(id, method.letters)) return &method;
    return nullptr;
}

bool IsMethodId(const std::string& id, const char* letters)
{
    return id.size() == kMethodIdLength && id.front() == kMethodDash && id.back() == kMethodDash &&
           id.compare(1, kMethodIdLength - 2, letters) == 0;
}

std::string MethodId(const char* letters) { return kMethodDash + std::string(letters) + kMethodDash; }

} // namespace lha
