// codec-bench-driver: the native side of bench/codec-bench, each command one
// whole process, as the peers it is timed against are.
//
//   codec-bench-driver pack <method> <workers> <folder> <list> <archive>
//       packs the files named in <list> (one a line, relative to <folder>)
//       with <method> (-lh5-, ...) on <workers> threads into <archive>
//   codec-bench-driver test <archive>
//       unpacks every member and checks its CRC, as `lhasa t` does
//
// Exit status: 0 done; 1 a file, the archive or a member failed (said on
// stderr); 2 bad command line; 3 <method> is not one the encoder writes.
#include "LevelTwoArchive.h"
#include "MappedFile.h"
#include "PackingWorkers.h"

#include "archiver/codec/Crc16.h"
#include "archiver/codec/Encoder.h"
#include "archiver/codec/MethodTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace codec_bench;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadCommandLine = 2;
constexpr int kMethodNotWritten = 3;

int Fail(const std::string& message) {
    std::fprintf(stderr, "codec-bench-driver: %s\n", message.c_str());
    return kFailed;
}

bool ReadList(const std::string& folder, const std::string& listPath, std::vector<FileToPack>& files) {
    std::ifstream list(listPath);
    if (!list)
        return false;
    for (std::string name; std::getline(list, name);)
        if (!name.empty())
            files.push_back({folder + "/" + name, name});
    return true;
}

int Pack(const std::string& methodId, unsigned workers, const std::string& folder, const std::string& listPath,
         const std::string& archivePath) {
    const lha::PackingMethod* method = lha::FindPackingMethod(methodId);
    if (method == nullptr) {
        std::fprintf(stderr, "codec-bench-driver: %s is not a method the encoder writes\n", methodId.c_str());
        return kMethodNotWritten;
    }
    std::vector<FileToPack> files;
    if (!ReadList(folder, listPath, files))
        return Fail(listPath + ": cannot read the list");
    FILE* archive = std::fopen(archivePath.c_str(), "wb");
    if (archive == nullptr)
        return Fail(archivePath + ": cannot create");
    std::string error;
    std::vector<uint8_t> header;
    const MemberWriter write = [&](const PackedMember& member) {
        if (!LevelTwoHeader(member.entry, header, error))
            return false;
        return std::fwrite(header.data(), 1, header.size(), archive) == header.size() &&
               std::fwrite(member.data.data(), 1, member.data.size(), archive) == member.data.size();
    };
    bool ok = PackFiles(files, *method, workers, write, error);
    ok = ok && std::fputc(kEndMarker, archive) != EOF;
    ok = std::fclose(archive) == 0 && ok;
    if (!ok)
        return Fail(error.empty() ? archivePath + ": cannot write" : error);
    return kDone;
}

class CrcSink : public lha::ByteSink {
public:
    bool Write(const uint8_t* data, size_t size) override {
        crc_ = lha::UpdateCrc16(crc_, data, size);
        bytes_ += size;
        return true;
    }
    uint16_t Crc() const { return crc_; }
    uint64_t Bytes() const { return bytes_; }

private:
    uint16_t crc_ = 0;
    uint64_t bytes_ = 0;
};

class SliceSource : public lha::ByteSource {
public:
    SliceSource(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    size_t Read(uint8_t* buffer, size_t size) override {
        const size_t take = size < left_ ? size : left_;
        std::copy(data_, data_ + take, buffer);
        data_ += take;
        left_ -= take;
        return take;
    }

private:
    const uint8_t* data_;
    size_t left_;
};

// Unpacks one member into a CRC; the reason when it fails, else empty.
std::string TestMember(const MemberEntry& entry, const uint8_t* packed) {
    const lha::Method* method = lha::FindMethod(entry.method);
    if (method == nullptr)
        return entry.name + ": method " + entry.method + " not supported";
    if (method->kind == lha::MethodKind::Folder)
        return std::string();
    SliceSource in(packed, static_cast<size_t>(entry.packedSize));
    CrcSink out;
    const lha::DecodeStatus status =
        method->decode(method->dictionaryBits, in, entry.packedSize, entry.originalSize, out);
    if (status != lha::DecodeStatus::Ok || out.Bytes() != entry.originalSize)
        return entry.name + ": damaged packed data";
    if (out.Crc() != entry.crc)
        return entry.name + ": CRC error";
    return std::string();
}

int Test(const std::string& archivePath) {
    const MappedFile archive(archivePath);
    if (!archive.Ok())
        return Fail(archivePath + ": cannot read");
    LevelTwoReader reader(archive.Data(), archive.Size());
    MemberEntry entry;
    const uint8_t* packed = nullptr;
    unsigned members = 0, failures = 0;
    while (reader.Next(entry, packed)) {
        ++members;
        const std::string failure = TestMember(entry, packed);
        if (failure.empty())
            continue;
        std::fprintf(stderr, "codec-bench-driver: %s\n", failure.c_str());
        ++failures;
    }
    if (reader.Failed())
        return Fail(archivePath + ": " + reader.Error());
    std::printf("%u members, %u failed\n", members, failures);
    return failures == 0 ? kDone : kFailed;
}

int Usage() {
    std::fprintf(stderr, "usage: codec-bench-driver pack <method> <workers> <folder> <list> <archive>\n"
                         "       codec-bench-driver test <archive>\n");
    return kBadCommandLine;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "pack" && argc == 7) {
        const int workers = std::atoi(argv[3]);
        if (workers < 1)
            return Usage();
        return Pack(argv[2], static_cast<unsigned>(workers), argv[4], argv[5], argv[6]);
    }
    if (command == "test" && argc == 3)
        return Test(argv[2]);
    return Usage();
}
