// The floor of a batch run: the same work as `pelmora-cli batch --max-side N` (and as a plain
// JPEG -> PNG convert) done by the format libraries alone, with nothing of ours in between.
// libjpeg-turbo decodes at the DCT scale our reader picks (the largest 1/2, 1/4 or 1/8 that still
// covers the target), a nearest-neighbour resample makes the exact size the maximum-side rule
// asks for, then libpng (zlib level 6, its default adaptive filters) or libjpeg-turbo (quality
// 90, full-resolution chroma, as our writer) encodes. JOBS threads take the files in turn, each
// with its own buffers reused from file to file.
//
// Usage: floor png|jpg MAXSIDE OUTDIR JOBS FILE...     (MAXSIDE 0: no resize, full decode)
// Writes OUTDIR/NAME.png or OUTDIR/NAME.jpg for each FILE; exit 1 on any failure.

// jpeglib.h needs FILE declared before it.
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Size {
    std::uint32_t width = 0, height = 0;
    int channels = 3; // 1 for a gray JPEG, which stays gray as in our reader and writers
};

// The batch rule: the longer side becomes exactly `side`, the other truncated toward zero.
Size FitLongerSide(std::uint32_t width, std::uint32_t height, std::uint32_t side)
{
    const double w = width, h = height, s = side;
    if (width > height)
        return { side, static_cast<std::uint32_t>(h / (w / s)) };
    return { static_cast<std::uint32_t>(w / (h / s)), side };
}

unsigned ScaleFor(std::uint32_t width, std::uint32_t height, Size need)
{
    for (unsigned denom : { 8u, 4u, 2u })
        if ((width + denom - 1) / denom >= need.width && (height + denom - 1) / denom >= need.height)
            return denom;
    return 1;
}

struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::vector<std::uint8_t> data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t chunk[1 << 16];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            data.insert(data.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return data;
}

struct Worker {
    std::vector<std::uint8_t> file, decoded, resized;

    bool Decode(const std::string& path, std::uint32_t maxSide, Size& size)
    {
        file = ReadAll(path);
        if (file.empty())
            return false;
        jpeg_decompress_struct cinfo {};
        ErrorManager err {};
        cinfo.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = OnJpegError;
        if (setjmp(err.jump)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), file.size());
        jpeg_read_header(&cinfo, TRUE);
        const int channels = cinfo.jpeg_color_space == JCS_GRAYSCALE ? 1 : 3;
        cinfo.out_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
        size = { cinfo.image_width, cinfo.image_height, channels };
        if (maxSide > 0) {
            size = FitLongerSide(cinfo.image_width, cinfo.image_height, maxSide);
            size.channels = channels;
            if (size.width < cinfo.image_width && size.height < cinfo.image_height) {
                cinfo.scale_num = 1;
                cinfo.scale_denom = ScaleFor(cinfo.image_width, cinfo.image_height, size);
            }
        }
        jpeg_start_decompress(&cinfo);
        const std::size_t stride = std::size_t { cinfo.output_width } * channels;
        decoded.resize(stride * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = decoded.data() + stride * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        const std::uint32_t w = cinfo.output_width, h = cinfo.output_height;
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        if (maxSide == 0 || (size.width == w && size.height == h)) {
            size = { w, h, channels };
            resized.swap(decoded);
            return true;
        }
        // Nearest neighbour, the sample at the centre of each destination pixel.
        resized.resize(std::size_t { size.width } * size.height * channels);
        std::vector<std::size_t> column(size.width);
        for (std::uint32_t x = 0; x < size.width; ++x)
            column[x] = ((2 * std::uint64_t { x } + 1) * w) / (2 * std::uint64_t { size.width }) * channels;
        for (std::uint32_t y = 0; y < size.height; ++y) {
            const std::uint64_t sy = ((2 * std::uint64_t { y } + 1) * h) / (2 * std::uint64_t { size.height });
            const std::uint8_t* s = decoded.data() + sy * stride;
            std::uint8_t* d = resized.data() + std::size_t { y } * size.width * channels;
            if (channels == 1)
                for (std::uint32_t x = 0; x < size.width; ++x)
                    d[x] = s[column[x]];
            else
                for (std::uint32_t x = 0; x < size.width; ++x, d += 3)
                    std::memcpy(d, s + column[x], 3);
        }
        return true;
    }

    bool WritePng(const std::string& path, Size size)
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return false;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        bool ok = png && info;
        if (ok && setjmp(png_jmpbuf(png)))
            ok = false;
        else if (ok) {
            png_init_io(png, f);
            png_set_IHDR(png,
                info,
                size.width,
                size.height,
                8,
                size.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                PNG_INTERLACE_NONE,
                PNG_COMPRESSION_TYPE_DEFAULT,
                PNG_FILTER_TYPE_DEFAULT);
            png_set_compression_level(png, 6);
            png_write_info(png, info);
            for (std::uint32_t y = 0; y < size.height; ++y)
                png_write_row(png, resized.data() + std::size_t { y } * size.width * size.channels);
            png_write_end(png, nullptr);
        }
        png_destroy_write_struct(&png, &info);
        return std::fclose(f) == 0 && ok;
    }

    bool WriteJpeg(const std::string& path, Size size)
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return false;
        jpeg_compress_struct cinfo {};
        ErrorManager err {};
        cinfo.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = OnJpegError;
        if (setjmp(err.jump)) {
            jpeg_destroy_compress(&cinfo);
            std::fclose(f);
            return false;
        }
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, f);
        cinfo.image_width = size.width;
        cinfo.image_height = size.height;
        cinfo.input_components = size.channels;
        cinfo.in_color_space = size.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        for (int i = 0; i < cinfo.num_components; ++i)
            cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = resized.data() + std::size_t { cinfo.next_scanline } * size.width * size.channels;
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        return std::fclose(f) == 0;
    }
};

std::string OutputPath(const std::string& dir, const std::string& source, const std::string& ext)
{
    std::string name = source.substr(source.find_last_of('/') + 1);
    name = name.substr(0, name.find_last_of('.'));
    return dir + "/" + name + "." + ext;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || (std::strcmp(argv[1], "png") != 0 && std::strcmp(argv[1], "jpg") != 0)) {
        std::fprintf(stderr, "usage: floor png|jpg MAXSIDE OUTDIR JOBS FILE...\n");
        return 2;
    }
    const std::string ext = argv[1], outDir = argv[3];
    const auto maxSide = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const unsigned jobs = std::max(1, std::atoi(argv[4]));
    const std::vector<std::string> files(argv + 5, argv + argc);

    std::atomic<std::size_t> next { 0 };
    std::atomic<int> failures { 0 };
    const auto work = [&] {
        Worker worker;
        for (std::size_t i; (i = next++) < files.size();) {
            Size size;
            const std::string out = OutputPath(outDir, files[i], ext);
            const bool ok = worker.Decode(files[i], maxSide, size)
                && (ext == "png" ? worker.WritePng(out, size) : worker.WriteJpeg(out, size));
            if (!ok) {
                std::fprintf(stderr, "floor: %s failed\n", files[i].c_str());
                ++failures;
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned j = 1; j < jobs; ++j)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    return failures > 0 ? 1 : 0;
}
