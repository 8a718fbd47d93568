// The download strip on the splash: its geometry, the redraw rate, the PNG round trip, and what
// the bridge hands the splash library (a fake one that records every image it is given).
#include "splash/png_image.h"
#include "splash/screen.h"
#include "splash/strip.h"
#include "tests/support/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace splash;

TEST(SplashStrip, FillsTheBottomEdgeInProportionAndNeverBeyondTheImage) {
    for (int h : {1, 2, 3, 40, 160, 200, 400, 2000}) {
        strip_rect s = progress_strip(240, h, 1, 2, 0);
        EXPECT_GE(s.height, 1) << h;
        EXPECT_LE(s.height, h < 6 ? h : 6) << h;
        EXPECT_EQ(s.y + s.height, h) << h;
    }
    EXPECT_EQ(progress_strip(240, 160, 0, 1000, 0).width, 0);
    EXPECT_EQ(progress_strip(240, 160, 500, 1000, 0).width, 120);
    EXPECT_EQ(progress_strip(240, 160, 1000, 1000, 0).width, 240);
    EXPECT_EQ(progress_strip(240, 160, 5000, 1000, 0).width, 240); // more than announced
    // Near 4 GiB the product must not wrap.
    EXPECT_EQ(progress_strip(4000, 160, 0xFFFFFFFEull, 0xFFFFFFFFull, 0).width, 3999);
    EXPECT_EQ(progress_strip(0, 160, 1, 2, 0).width, 0);
}

TEST(SplashStrip, WithoutALengthABlockSweepsAcrossTheWholeEdge) {
    const int width = 240;
    std::vector<bool> covered(width, false);
    int widest = 0;
    for (std::uint64_t t = 0; t < 2 * sweep_ms; t += 5) {
        strip_rect s = progress_strip(width, 160, 12345, 0, t);
        ASSERT_GE(s.x, 0);
        ASSERT_LE(s.x + s.width, width) << t;
        widest = std::max(widest, s.width);
        for (int x = s.x; x < s.x + s.width; ++x)
            covered[x] = true;
    }
    EXPECT_EQ(widest, width / 4);
    EXPECT_EQ(std::count(covered.begin(), covered.end(), false), 0);
    // It moves: two moments a tenth of a second apart differ.
    EXPECT_NE(progress_strip(width, 160, 0, 0, 500).x, progress_strip(width, 160, 0, 0, 600).x);
}

TEST(SplashStrip, AtMostTenRedrawsASecond) {
    redraw_limit limit;
    int due = 0;
    for (std::uint64_t t = 5000; t < 6000; t += 7)
        due += limit.due(t);
    EXPECT_EQ(due, 10);
    EXPECT_FALSE(limit.due(6000 - 7 + 1));
    limit.reset();
    EXPECT_TRUE(limit.due(6000)); // a new download shows at once
}

rgba_image gradient(int w, int h, bool alpha) {
    rgba_image img;
    img.width = w, img.height = h, img.has_alpha = alpha;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.pixels.insert(img.pixels.end(),
                              {std::uint8_t(x * 7), std::uint8_t(y * 5), std::uint8_t(x ^ y),
                               std::uint8_t(alpha ? x : 255)});
    return img;
}

TEST(SplashPng, RoundTripsAndRefusesWhatItCannotRead) {
    for (bool alpha : {false, true}) {
        rgba_image in = gradient(37, 23, alpha), out;
        std::vector<std::uint8_t> png;
        ASSERT_TRUE(encode_png(in, &png));
        ASSERT_TRUE(decode_png(png.data(), png.size(), &out));
        EXPECT_EQ(out.width, 37);
        EXPECT_EQ(out.height, 23);
        EXPECT_EQ(out.has_alpha, alpha);
        EXPECT_TRUE(out.pixels == in.pixels);

        // Every cut, and a flipped byte in the pixel data, is refused.
        for (std::size_t n = 0; n < png.size(); n += 13)
            EXPECT_FALSE(decode_png(png.data(), n, &out)) << n;
        png[png.size() / 2] ^= 0x40;
        EXPECT_FALSE(decode_png(png.data(), png.size(), &out));
    }
    const std::uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
    rgba_image out;
    EXPECT_FALSE(decode_png(jpeg, sizeof jpeg, &out));
}

// What the fake library's SplashLoadMemory was given, in order; the strip's own thread calls it.
std::mutex shown_lock;
std::vector<std::vector<std::uint8_t>> shown;
int splash_load_memory(void* data, int size) {
    auto* p = static_cast<std::uint8_t*>(data);
    std::lock_guard<std::mutex> hold(shown_lock);
    shown.emplace_back(p, p + size);
    return 1;
}
std::size_t shown_count() {
    std::lock_guard<std::mutex> hold(shown_lock);
    return shown.size();
}
// Waits (boundedly) for the drawing thread's first image.
bool first_shown() {
    for (int i = 0; i < 500 && shown_count() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return shown_count() > 0;
}

class SplashProgressBridge : public ::testing::Test {
  protected:
    std::string image = testing::TempDir() + "splash_progress_test.png";
    std::vector<std::uint8_t> file;

    // A fresh splash for each case, as a process has; its destructor ends its drawing.
    std::unique_ptr<screen> owner = std::make_unique<screen>();

    void SetUp() override {
        fake::reset();
        shown.clear();
        ASSERT_TRUE(encode_png(gradient(80, 40, false), &file));
        write(file);
    }
    void TearDown() override {
        owner.reset();
        std::remove(image.c_str());
    }
    void start_again() { owner = std::make_unique<screen>(); }
    progress& strip() { return owner->progress; }
    void write(const std::vector<std::uint8_t>& bytes) {
        std::FILE* f = std::fopen(image.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    void library(bool with_memory_load = true) {
        void* lib = fake::add_library(fake::installed(platform::splash_library));
        if (with_memory_load)
            fake::add_proc(lib, "SplashLoadMemory", reinterpret_cast<void*>(&splash_load_memory));
    }
    rgba_image last() {
        rgba_image img;
        EXPECT_FALSE(shown.empty());
        if (!shown.empty()) {
            EXPECT_TRUE(decode_png(shown.back().data(), shown.back().size(), &img));
        }
        return img;
    }
};

TEST_F(SplashProgressBridge, DrawsOnlyTheStripAndAFailedDownloadBringsBackTheFile) {
    library();
    strip().shown(image.c_str());
    strip().update(500, 1000, 0x102030);
    ASSERT_TRUE(first_shown());
    rgba_image original = gradient(80, 40, false), now = last();
    ASSERT_EQ(now.pixels.size(), original.pixels.size());
    const int top = 40 - strip_height(40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x) {
            const std::uint8_t* a = &now.pixels[(y * 80 + x) * 4];
            const std::uint8_t* b = &original.pixels[(y * 80 + x) * 4];
            bool in_strip = y >= top && x < 40;
            if (in_strip)
                ASSERT_TRUE(a[0] == 0x10 && a[1] == 0x20 && a[2] == 0x30) << x << "," << y;
            else
                ASSERT_TRUE(std::equal(a, a + 4, b)) << x << "," << y;
        }

    // Progress that adds no pixel is not redrawn, however long it goes on.
    for (int i = 0; i < 30; ++i) {
        strip().update(501, 1000, 0x102030);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(shown_count(), 1u);

    strip().end(false);
    EXPECT_TRUE(shown.back() == file);
}

TEST_F(SplashProgressBridge, ASplashThatGoesMidDownloadEndsItsDrawingAsAFailure) {
    library();
    strip().shown(image.c_str());
    strip().update(500, 1000, 0x102030);
    ASSERT_TRUE(first_shown());
    owner.reset();
    EXPECT_TRUE(shown.back() == file);
}

TEST_F(SplashProgressBridge, AWholeDownloadOfUnknownLengthEndsFull) {
    library();
    strip().shown(image.c_str());
    strip().update(100, 0, 0xFFFFFF);
    ASSERT_TRUE(first_shown());
    strip().end(true);
    rgba_image now = last();
    for (int x = 0; x < 80; ++x)
        EXPECT_EQ(now.pixels[(39 * 80 + x) * 4], 0xFF) << x;
}

TEST_F(SplashProgressBridge, WhatCannotBeShownIsLeftAloneForTheRestOfTheRun) {
    // No splash showing: not even the library is asked.
    library();
    strip().update(1, 2, 0);
    strip().end(false);
    EXPECT_TRUE(fake::platform().calls.empty());
    EXPECT_TRUE(shown.empty());

    // An image that cannot be decoded; the library is asked once and never again.
    start_again();
    write({'G', 'I', 'F', '8', '9', 'a'});
    strip().shown(image.c_str());
    strip().update(1, 2, 0);
    strip().end(false);
    std::size_t calls = fake::platform().calls.size();
    EXPECT_GT(calls, 0u);
    strip().update(2, 2, 0);
    strip().end(true);
    EXPECT_EQ(fake::platform().calls.size(), calls);
    EXPECT_TRUE(shown.empty());

    // A library without memory loading.
    start_again();
    fake::reset();
    library(false);
    write(file);
    strip().shown(image.c_str());
    strip().update(1, 2, 0);
    strip().end(true);
    EXPECT_TRUE(shown.empty());
}

} // namespace
