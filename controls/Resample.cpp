// Resampling a bitmap with a separable tent filter.
#include "controls/Resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One output pixel's share of the input along one axis: the input pixels from nFirst on,
// with their weights, which add up to 1.
struct Taps {
    int nFirst;
    std::vector<float> weights;
};

// A tent as wide as one input pixel when enlarging, which interpolates linearly between
// neighbours, and as one output pixel when shrinking, which averages what it covers.
// Beyond the edges the outermost input pixel stands in.
std::vector<Taps> TapsFor(int nFrom, int nTo)
{
    const double scale = static_cast<double>(nTo) / nFrom;
    const double radius = scale < 1.0 ? 1.0 / scale : 1.0;  // in input pixels
    std::vector<Taps> taps(static_cast<size_t>(nTo));
    for (int i = 0; i < nTo; ++i) {
        const double centre = (i + 0.5) / scale - 0.5;  // in input pixels
        // The input pixels the tent reaches, and those that stand in for them.
        const int first = static_cast<int>(std::floor(centre - radius)) + 1;
        const int last = static_cast<int>(std::ceil(centre + radius)) - 1;
        const int nFirst = std::clamp(first, 0, nFrom - 1);
        const int nLast = std::clamp(last, 0, nFrom - 1);
        std::vector<float> weights(static_cast<size_t>(nLast - nFirst + 1));
        double total = 0.0;
        for (int x = first; x <= last; ++x) {
            const double w = 1.0 - std::abs(x - centre) / radius;
            if (w <= 0.0)
                continue;
            const int nStandIn = std::clamp(x, 0, nFrom - 1);
            weights[static_cast<size_t>(nStandIn - nFirst)] += static_cast<float>(w);
            total += w;
        }
        for (float& w : weights)
            w = static_cast<float>(w / total);
        taps[static_cast<size_t>(i)] = {nFirst, std::move(weights)};
    }
    return taps;
}

}  // namespace

HBITMAP ResampleBitmap(HBITMAP hPicture, int cx, int cy)
{
    BITMAP bm = {};
    if (cx <= 0 || cy <= 0 || !::GetObjectA(hPicture, sizeof bm, &bm) || bm.bmWidth <= 0 ||
        bm.bmHeight <= 0)
        return nullptr;
    const int w = bm.bmWidth;
    const int h = bm.bmHeight;

    // The source as 32-bit rows, top row first.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<BYTE> source(static_cast<size_t>(w) * h * 4);
    const HDC hScreen = ::GetDC(nullptr);
    const int nRows = ::GetDIBits(hScreen, hPicture, 0, static_cast<UINT>(h), source.data(), &info,
                                  DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hScreen);
    if (nRows != h)
        return nullptr;

    // Across first, into rows of the new width, then down into the new height.
    const std::vector<Taps> across = TapsFor(w, cx);
    const std::vector<Taps> down = TapsFor(h, cy);
    std::vector<float> wide(static_cast<size_t>(h) * cx * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < cx; ++x) {
            const Taps& t = across[static_cast<size_t>(x)];
            float* out = &wide[(static_cast<size_t>(y) * cx + x) * 3];
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const BYTE* in = &source[(static_cast<size_t>(y) * w + t.nFirst + k) * 4];
                for (int c = 0; c < 3; ++c)
                    out[c] += t.weights[k] * in[c];
            }
        }
    }

    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;
    info.bmiHeader.biBitCount = 24;
    void* pBits = nullptr;
    const HBITMAP hCopy = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (!hCopy)
        return nullptr;
    const size_t stride = (static_cast<size_t>(cx) * 3 + 3) & ~static_cast<size_t>(3);
    for (int y = 0; y < cy; ++y) {
        const Taps& t = down[static_cast<size_t>(y)];
        BYTE* row = static_cast<BYTE*>(pBits) + stride * static_cast<size_t>(y);
        for (int x = 0; x < cx; ++x) {
            float sum[3] = {0.0f, 0.0f, 0.0f};
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const float* in = &wide[((t.nFirst + k) * static_cast<size_t>(cx) + x) * 3];
                for (int c = 0; c < 3; ++c)
                    sum[c] += t.weights[k] * in[c];
            }
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = static_cast<BYTE>(std::clamp(std::lround(sum[c]), 0L, 255L));
        }
    }
    ::GdiFlush();
    return hCopy;
}
