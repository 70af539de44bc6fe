// The image readers over files: opened through the platform, read through the readers' buffer.
#include "firmware/image_readers.h"
#include "platform/files.h"

namespace tavik::firmware {
namespace {

constexpr size_t kMaxPathChars = 259; // MAX_PATH without its terminating zero

class FileSource final : public ByteSource {
public:
    explicit FileSource(const platform::FileHandle& file) : file_(file) {}
    bool read(uint8_t* buffer, uint32_t size, uint32_t& got) override {
        return platform::readFile(file_, buffer, size, got);
    }

private:
    const platform::FileHandle& file_; // opened after construction by its owner
};

// An open image file, closed at the end of the scope.
class OpenFile {
public:
    OpenFile(const std::string& path, bool exclusive) {
        if (path.size() <= kMaxPathChars) file_ = platform::openFileForRead(path, exclusive);
        if (file_ && !platform::fileSize(file_, size_)) size_ = 0;
    }
    ~OpenFile() { platform::closeFile(file_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool valid() const { return file_.valid(); }
    uint64_t size() const { return size_; }
    ByteSource& source() { return source_; }

private:
    platform::FileHandle file_;
    uint64_t size_ = 0;
    FileSource source_{file_};
};

} // namespace

ErrorCode readHexImage(const std::string& path, FirmwareImage& image, const ReadProgress& progress) {
    progress(ERR_SUCCESS, 0);
    OpenFile file(path, /*exclusive=*/true);
    if (!file.valid()) {
        image = FirmwareImage{};
        progress(ERR_OPEN_FAILED, 0);
        return ERR_OPEN_FAILED;
    }
    return readHexImage(file.source(), file.size(), image, progress);
}

ErrorCode readFpgaImage(const std::string& path, std::vector<uint8_t>& image, const ReadProgress& progress) {
    progress(ERR_SUCCESS, 0);
    OpenFile file(path, /*exclusive=*/false);
    if (!file.valid()) {
        std::vector<uint8_t>().swap(image);
        progress(ERR_OPEN_FAILED, 0);
        return ERR_OPEN_FAILED;
    }
    return readFpgaImage(file.source(), file.size(), image, progress);
}

} // namespace tavik::firmware
