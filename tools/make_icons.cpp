// Renders SVG pictures into Windows icon files (32-bit colour with alpha, 16, 24, 32 and 48
// pixels), for the icon module the host's button bar and the shell's file types point at.
// Usage: varnel-make-icons OUT.ico IN.svg [OUT.ico IN.svg ...]
// An output ending in ".png" gets one 64-pixel picture instead: the Windows build's pictures, where
// Qt has no SVG module.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Put16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One icon image as the icon format stores it: a bitmap header of double height, the colours
// bottom-up, then the AND mask (one bit per pixel, rows padded to 32 bits; clear = drawn).
std::string IconImage(const QImage& image) {
    const int size = image.width();
    const int maskStride = ((size + 31) / 32) * 4;
    std::string out;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(size * size * 4 + size * maskStride));
    for (int k = 0; k < 4; ++k)
        Put32(out, 0);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            QRgb pixel = image.pixel(x, y);
            out.push_back(static_cast<char>(qBlue(pixel)));
            out.push_back(static_cast<char>(qGreen(pixel)));
            out.push_back(static_cast<char>(qRed(pixel)));
            out.push_back(static_cast<char>(qAlpha(pixel)));
        }
    for (int y = size - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(maskStride), '\0');
        for (int x = 0; x < size; ++x)
            if (qAlpha(image.pixel(x, y)) == 0)
                row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        out += row;
    }
    return out;
}

QImage Render(QSvgRenderer& renderer, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image;
}

bool WriteIcon(const char* svgPath, const char* icoPath) {
    QSvgRenderer renderer{QString::fromLocal8Bit(svgPath)};
    if (!renderer.isValid())
        return false;
    if (QString::fromLocal8Bit(icoPath).endsWith(".png"))
        return Render(renderer, 64).save(QString::fromLocal8Bit(icoPath), "PNG");
    static constexpr int kSizes[] = {16, 24, 32, 48};
    std::vector<std::string> images;
    for (int size : kSizes)
        images.push_back(IconImage(Render(renderer, size)));
    std::string file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<char>(kSizes[i]));
        file.push_back(static_cast<char>(kSizes[i]));
        file.push_back(0); // no palette
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, static_cast<uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::string& image : images)
        file += image;
    std::ofstream out(icoPath, std::ios::binary);
    out << file;
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3 || argc % 2 == 0) {
        std::fputs("usage: varnel-make-icons OUT.ico|OUT.png IN.svg [...]\n", stderr);
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2)
        if (!WriteIcon(argv[i + 1], argv[i])) {
            std::fprintf(stderr, "varnel-make-icons: cannot make %s from %s\n", argv[i], argv[i + 1]);
            return 1;
        }
    return 0;
}
