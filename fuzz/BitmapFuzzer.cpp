// The bitmap reader over arbitrary file bytes: DecodeBitmap either gives an
// RGB32 image within the pixel limit or throws std::runtime_error with one of
// its two texts; nothing else may come out. The same bytes read through the
// streaming file reader (a memfd) must give the same image or the same text.
#include "BitmapFile.h"
#include "FuzzCheck.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QString>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// Small enough that the largest image allowed (32 MiB) stays far below the
// -malloc_limit_mb of the run; any bigger allocation is the decoder trusting
// a size from the file.
constexpr std::uint64_t FuzzMaxPixels = std::uint64_t{8} * 1024 * 1024;

struct Result {
    QImage image;
    std::string error;
};

bool KnownText(const std::string& text) {
    return text == "Bitmap image is not valid" || text == "Stream read error";
}

template <typename Decode>
Result Run(Decode decode) {
    Result r;
    try {
        r.image = decode();
    } catch (const std::bad_alloc&) {
        FUZZ_CHECK(false, "std::bad_alloc for an image within %llu pixels",
                   static_cast<unsigned long long>(FuzzMaxPixels));
    } catch (const std::runtime_error& e) {
        r.error = e.what();
        FUZZ_CHECK(KnownText(r.error), "unexpected error text \"%s\"", r.error.c_str());
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, "unexpected exception type, text \"%s\"", e.what());
    }
    if (r.error.empty()) {
        FUZZ_CHECK(!r.image.isNull(), "no error but a null image");
        FUZZ_CHECK(r.image.format() == QImage::Format_RGB32, "format %d",
                   static_cast<int>(r.image.format()));
        const std::uint64_t pixels =
            std::uint64_t(r.image.width()) * std::uint64_t(r.image.height());
        FUZZ_CHECK(pixels <= FuzzMaxPixels, "%dx%d image above the limit", r.image.width(),
                   r.image.height());
    }
    return r;
}

int MemFd() {
    static const int fd = memfd_create("fuzz-bmp", 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Result memory = Run([&] { return DecodeBitmap(data, size, FuzzMaxPixels); });

    const int fd = MemFd();
    FUZZ_CHECK(fd >= 0, "memfd_create failed");
    FUZZ_CHECK(ftruncate(fd, 0) == 0 &&
                   (size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size)),
               "cannot write the memfd");
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const Result file = Run([&] { return ReadBitmapFile(path, FuzzMaxPixels); });

    FUZZ_CHECK(memory.error == file.error, "memory decoder says \"%s\", file reader \"%s\"",
               memory.error.c_str(), file.error.c_str());
    if (memory.error.empty()) {
        FUZZ_CHECK(memory.image == file.image, "memory and file decoding differ (%dx%d)",
                   memory.image.width(), memory.image.height());
    }
    return 0;
}
