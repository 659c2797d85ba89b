// Probe run by scripts/test before a lane's tests: proves that Wine starts a program of this build's
// architecture and that it can measure text. A 64-bit Wine without its 32-bit half may still start a
// 32-bit program in an experimental mode in which GDI text fails, and every window test would then fail
// for that reason alone. Prints one line; exit code 0 when text can be measured.
#include <windows.h>

#include <cstdio>

int main() {
    const int bits = static_cast<int>(sizeof(void*) * 8);
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        std::printf("%d-bit program: no device context\n", bits);
        return 1;
    }
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics = {};
    SIZE extent = {};
    const BOOL measured =
        GetTextMetricsA(dc, &metrics) && GetTextExtentPoint32A(dc, "Nachtriegel", 11, &extent);
    SelectObject(dc, old);
    DeleteDC(dc);
    if (!measured || metrics.tmHeight <= 0 || extent.cx <= 0) {
        std::printf("%d-bit program: text cannot be measured (height %ld, width %ld)\n", bits,
                    static_cast<long>(metrics.tmHeight), static_cast<long>(extent.cx));
        return 1;
    }
    std::printf("%d-bit program: text measured (height %ld, width %ld)\n", bits,
                static_cast<long>(metrics.tmHeight), static_cast<long>(extent.cx));
    return 0;
}
