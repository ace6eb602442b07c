// Looks at what zerin-editor and the LV2 hosts made, for the shell tests: PNG sizes and
// contents, the pixels an X server shows, a window closed as a window manager closes it, the
// loudness of a recording.
//
//   editor_probe png FILE             -> "WIDTH HEIGHT COLOURS"
//   editor_probe differ A.png B.png [X Y W H]
//                                     -> percentage of pixels that differ visibly (within the
//                                        rectangle of pixels, if given)
//   editor_probe screen [OUT.png]     -> "WIDTH HEIGHT COLOURS" of $DISPLAY's root window,
//                                        which OUT.png keeps for a person to look at
//   editor_probe close WINDOW         -> sends WM_DELETE_WINDOW to WINDOW (decimal or 0x hex)
//   editor_probe cursor X Y [WANT]    -> moves the pointer to X, Y on the root and says which
//                                        cursor the server shows there once it settles (on
//                                        WANT, when given): "up-down", "text" or "other"
//   editor_probe peak FILE.wav        -> the largest absolute sample
//   editor_probe level FILE [FROM_SECONDS] -> RMS level from that second on
//   editor_probe diff A B [SKIP]      -> largest |A[n] - B[n + SKIP]| over A (same channels)
//   editor_probe tone OUT.wav CHANNELS -> writes two seconds of clicks over a tone

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <cairo.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include <poll.h>

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB
};

bool readPng(const char* path, Image& image) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "editor_probe: %s: not a readable PNG\n", path);
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_surface_flush(surface);
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&image.pixels[static_cast<std::size_t>(y) * image.width], data + y * stride,
                    static_cast<std::size_t>(image.width) * 4);
    cairo_surface_destroy(surface);
    return true;
}

// Distinct colours, counted up to a cap: a blank or single-colour picture has one or two.
std::size_t colours(const std::vector<std::uint32_t>& pixels) {
    std::unordered_set<std::uint32_t> seen;
    for (const std::uint32_t p : pixels) {
        seen.insert(p);
        if (seen.size() >= 100000) break;
    }
    return seen.size();
}

// Six levels in any channel: enough to see a scrim darken the editor's dark background,
// more than antialiasing jitter.
bool visiblyDiffer(std::uint32_t a, std::uint32_t b) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xff);
        const int cb = static_cast<int>((b >> shift) & 0xff);
        if (std::abs(ca - cb) > 6) return true;
    }
    return false;
}

int png(const char* path) {
    Image image;
    if (!readPng(path, image)) return 1;
    std::printf("%d %d %zu\n", image.width, image.height, colours(image.pixels));
    return 0;
}

int differ(const char* a, const char* b, int left, int top, int width, int height) {
    Image x, y;
    if (!readPng(a, x) || !readPng(b, y)) return 1;
    if (x.width != y.width || x.height != y.height) {
        std::printf("100\n");
        return 0;
    }
    if (width < 0) width = x.width, height = x.height;
    const int right = std::min(left + width, x.width);
    const int bottom = std::min(top + height, x.height);
    left = std::max(left, 0);
    top = std::max(top, 0);
    std::size_t count = 0, total = 0;
    for (int row = top; row < bottom; ++row)
        for (int column = left; column < right; ++column, ++total) {
            const std::size_t i = static_cast<std::size_t>(row) * x.width + column;
            if (visiblyDiffer(x.pixels[i], y.pixels[i])) ++count;
        }
    std::printf("%.2f\n", total == 0 ? 0.0 : 100.0 * static_cast<double>(count) / total);
    return 0;
}

// The root window always exists, so reading it can raise no X error, whatever the editor's
// window is doing meanwhile.
void writeScreen(const char* path, int width, int height,
                 const std::vector<std::uint32_t>& pixels) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    const int stride = cairo_image_surface_get_stride(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < height; ++y)
        std::memcpy(data + y * stride, &pixels[static_cast<std::size_t>(y) * width],
                    static_cast<std::size_t>(width) * 4);
    cairo_surface_mark_dirty(surface);
    cairo_surface_write_to_png(surface, path);
    cairo_surface_destroy(surface);
}

Display* openDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) std::fprintf(stderr, "editor_probe: cannot open the display\n");
    return display;
}

int screen(const char* out) {
    Display* display = openDisplay();
    if (display == nullptr) return 1;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image =
        XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    std::vector<std::uint32_t> pixels;
    for (int y = 0; image != nullptr && y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)));
    if (image != nullptr) XDestroyImage(image);
    XCloseDisplay(display);
    if (out != nullptr && !pixels.empty())
        writeScreen(out, attributes.width, attributes.height, pixels);
    std::printf("%d %d %zu\n", attributes.width, attributes.height, colours(pixels));
    return 0;
}

int closeWindow(const char* id) {
    Display* display = openDisplay();
    if (display == nullptr) return 1;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(id, nullptr, 0);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}

// The cursor the server shows, as its picture.
struct CursorPicture {
    int width = 0, height = 0, xhot = 0, yhot = 0;
    std::vector<unsigned long> pixels;
    bool operator==(const CursorPicture&) const = default;
};

CursorPicture shownCursor(Display* display) {
    CursorPicture picture;
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (image == nullptr) return picture;
    picture = {
        image->width, image->height, image->xhot, image->yhot,
        std::vector<unsigned long>(image->pixels, image->pixels + image->width * image->height)};
    XFree(image);
    return picture;
}

void movePointer(Display* display, int x, int y) {
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XSync(display, False);
}

// What a font cursor looks like here: shown in a window of our own at the root's far corner.
CursorPicture fontCursor(Display* display, unsigned int shape) {
    const int x = DisplayWidth(display, DefaultScreen(display)) - 20;
    const int y = DisplayHeight(display, DefaultScreen(display)) - 20;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.cursor = XCreateFontCursor(display, shape);
    Window window =
        XCreateWindow(display, DefaultRootWindow(display), x, y, 20, 20, 0, CopyFromParent,
                      InputOnly, CopyFromParent, CWOverrideRedirect | CWCursor, &attributes);
    XMapRaised(display, window);
    movePointer(display, x + 10, y + 10);
    const CursorPicture picture = shownCursor(display);
    XDestroyWindow(display, window);
    XFreeCursor(display, attributes.cursor);
    XSync(display, False);
    return picture;
}

// The editor sets its cursor when it has seen the pointer arrive, and a view that appears
// under a pointer at rest (a dialog a click opened) takes the hover only once the pointer
// moves, as under a hand. So the pointer comes in again now and then until the cursor shown is
// the one `want` names (any known one without it), for a generous while.
int cursorAt(int x, int y, const char* want) {
    Display* display = XOpenDisplay(nullptr);
    int base = 0;
    int error = 0;
    if (display == nullptr || !XFixesQueryExtension(display, &base, &error)) {
        std::fprintf(stderr, "editor_probe: no display with XFIXES\n");
        return 1;
    }
    const CursorPicture upDown = fontCursor(display, XC_sb_v_double_arrow);
    const CursorPicture text = fontCursor(display, XC_xterm);
    const auto settled = [want](const char* name) {
        return want != nullptr ? std::strcmp(name, want) == 0 : std::strcmp(name, "other") != 0;
    };
    // Polled until the cursor settles or the deadline passes; the pointer comes in again
    // every half second.
    using Clock = std::chrono::steady_clock;
    const auto giveUp = Clock::now() + std::chrono::seconds(30);
    auto nextEntry = Clock::now();
    const char* name = "other";
    while (!settled(name) && Clock::now() < giveUp) {
        if (Clock::now() >= nextEntry) {
            // From elsewhere, so that the editor sees the pointer enter.
            movePointer(display, x + 40, y + 40);
            movePointer(display, x, y);
            nextEntry = Clock::now() + std::chrono::milliseconds(500);
        }
        const CursorPicture shown = shownCursor(display);
        name = shown == upDown ? "up-down" : shown == text ? "text" : "other";
        // Until the server has something for us, or a few milliseconds: the next look.
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        if (!settled(name)) poll(&connection, 1, 10);
    }
    std::printf("%s\n", name);
    XCloseDisplay(display);
    return 0;
}

struct Sound {
    int channels = 0, rate = 0;
    std::vector<float> samples; // interleaved
};

bool readSound(const char* path, Sound& sound) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "editor_probe: %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    sound = {info.channels, info.samplerate,
             std::vector<float>(static_cast<std::size_t>(info.frames * info.channels))};
    sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    return true;
}

int peak(const char* path) {
    Sound a;
    if (!readSound(path, a)) return 1;
    float largest = 0.0f;
    for (const float x : a.samples)
        largest = std::max(largest, std::fabs(x));
    std::printf("%.6f\n", static_cast<double>(largest));
    return 0;
}

int level(const char* path, double from) {
    Sound a;
    if (!readSound(path, a)) return 1;
    const auto first = static_cast<std::size_t>(from * a.rate) * a.channels;
    double sum = 0.0;
    for (std::size_t i = first; i < a.samples.size(); ++i)
        sum += static_cast<double>(a.samples[i]) * a.samples[i];
    const std::size_t n = a.samples.size() > first ? a.samples.size() - first : 0;
    std::printf("%.9f\n", n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0);
    return 0;
}

// For each click in channel 1 (a sample past -60 dBFS after half a second of quiet), the
// seconds until channel 2 first sounds, before the next click; -1 where it stays silent. A
// click too near the end for its echo to fit before the next one is left out.
int echoes(const char* path, double longest) {
    Sound a;
    if (!readSound(path, a) || a.channels < 2) return 1;
    const std::size_t frames = a.samples.size() / static_cast<std::size_t>(a.channels);
    const auto loud = [&](std::size_t frame, int channel) {
        return std::fabs(a.samples[frame * static_cast<std::size_t>(a.channels) +
                                   static_cast<std::size_t>(channel)]) > 1e-3f;
    };
    const auto quiet = static_cast<std::size_t>(0.5 * a.rate);
    std::vector<std::size_t> clicks;
    std::size_t lastLoud = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        if (!loud(f, 0)) continue;
        if (clicks.empty() || f - lastLoud > quiet) clicks.push_back(f);
        lastLoud = f;
    }
    bool any = false;
    for (std::size_t k = 0; k < clicks.size(); ++k) {
        const std::size_t end = k + 1 < clicks.size() ? clicks[k + 1] : frames;
        if (static_cast<double>(end - clicks[k]) < longest * a.rate) continue;
        double delay = -1.0;
        for (std::size_t f = clicks[k]; f < end; ++f)
            if (loud(f, 1)) {
                delay = static_cast<double>(f - clicks[k]) / a.rate;
                break;
            }
        std::printf(any ? " %.4f" : "%.4f", delay);
        any = true;
    }
    std::printf("\n");
    return any ? 0 : 1;
}

int diff(const char* pathA, const char* pathB, std::size_t skip) {
    Sound a, b;
    if (!readSound(pathA, a) || !readSound(pathB, b)) return 1;
    const std::size_t offset = skip * static_cast<std::size_t>(b.channels);
    if (a.channels != b.channels || b.samples.size() < offset + a.samples.size()) {
        std::fprintf(stderr, "editor_probe: %s is too short or has other channels\n", pathB);
        return 1;
    }
    double largest = 0.0;
    for (std::size_t i = 0; i < a.samples.size(); ++i)
        largest = std::fmax(largest, std::fabs(a.samples[i] - b.samples[i + offset]));
    std::printf("%.9g\n", largest);
    return 0;
}

// Something for the classification to tell apart: a steady tone with a click every 0.25 s.
int tone(const char* path, int channels) {
    constexpr int kRate = 44100;
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "editor_probe: %s: %s\n", path, sf_strerror(nullptr));
        return 1;
    }
    std::vector<float> frames;
    for (int i = 0; i < 2 * kRate; ++i) {
        const double click = i % (kRate / 4) < 64 ? 0.8 : 0.0;
        const auto sample =
            static_cast<float>(0.3 * std::sin(2.0 * M_PI * 330.0 * i / kRate) + click);
        frames.insert(frames.end(), static_cast<std::size_t>(channels), sample);
    }
    sf_writef_float(file, frames.data(), 2 * kRate);
    sf_close(file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "png" && argc == 3) return png(argv[2]);
    if (command == "differ" && argc == 4) return differ(argv[2], argv[3], 0, 0, -1, -1);
    if (command == "differ" && argc == 8)
        return differ(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                      std::atoi(argv[7]));
    if (command == "screen" && (argc == 2 || argc == 3))
        return screen(argc == 3 ? argv[2] : nullptr);
    if (command == "close" && argc == 3) return closeWindow(argv[2]);
    if (command == "peak" && argc == 3) return peak(argv[2]);
    if (command == "level" && (argc == 3 || argc == 4))
        return level(argv[2], argc == 4 ? std::atof(argv[3]) : 0.0);
    if (command == "diff" && (argc == 4 || argc == 5))
        return diff(argv[2], argv[3], argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 0);
    if (command == "cursor" && (argc == 4 || argc == 5))
        return cursorAt(std::atoi(argv[2]), std::atoi(argv[3]), argc == 5 ? argv[4] : nullptr);
    if (command == "tone" && argc == 4) return tone(argv[2], std::atoi(argv[3]));
    if (command == "echoes" && argc == 4) return echoes(argv[2], std::atof(argv[3]));
    std::fprintf(stderr,
                 "usage: editor_probe png FILE | differ A B | screen [OUT.png] | close WINDOW | "
                 "cursor X Y [WANT] | peak FILE | level FILE [FROM] | diff A B [SKIP] | "
                 "tone OUT CHANNELS | echoes FILE LONGEST\n");
    return 2;
}
