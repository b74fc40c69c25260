// The artwork as the program loads it: the three files are written into a
// fresh folder and read back with Allegro's own loaders.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/app.h"
#include "tools/artwork.h"

namespace {

struct Rgb {
  int r, g, b;
  int sum() const { return r + g + b; }
  int maxChannel() const { return r > g ? (r > b ? r : b) : (g > b ? g : b); }
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb pixel(BITMAP* bmp, int x, int y) {
  const int depth = bitmap_color_depth(bmp);
  const int c = getpixel(bmp, x, y);
  return {getr_depth(depth, c), getg_depth(depth, c), getb_depth(depth, c)};
}

// Mean brightness (sum of channels) over a rectangle, corners inside.
double meanBrightness(BITMAP* bmp, artwork::Rect r) {
  double total = 0;
  for (int y = r.y1; y <= r.y2; ++y)
    for (int x = r.x1; x <= r.x2; ++x) total += pixel(bmp, x, y).sum();
  return total / ((r.x2 - r.x1 + 1) * (r.y2 - r.y1 + 1));
}

// Mean brightness of the one-pixel ring just outside r.
double meanRingBrightness(BITMAP* bmp, artwork::Rect r) {
  double total = 0;
  int n = 0;
  for (int x = r.x1 - 1; x <= r.x2 + 1; ++x) {
    total += pixel(bmp, x, r.y1 - 1).sum() + pixel(bmp, x, r.y2 + 1).sum();
    n += 2;
  }
  for (int y = r.y1; y <= r.y2; ++y) {
    total += pixel(bmp, r.x1 - 1, y).sum() + pixel(bmp, r.x2 + 1, y).sum();
    n += 2;
  }
  return total / n;
}

class Artwork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!system_driver) {
      ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
    }
    set_color_depth(32);
    char pattern[] = "/tmp/artwork-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::string failed;
    ASSERT_TRUE(artwork::writeArtwork(dir_, &failed)) << failed;
    background_ = load_bitmap(path(artwork::kBackgroundFile).c_str(), nullptr);
    cursor_ = load_bitmap(path(artwork::kCursorFile).c_str(), nullptr);
    font_ = load_font(path(artwork::kFontFile).c_str(), nullptr, nullptr);
  }
  static void TearDownTestSuite() {
    if (background_) destroy_bitmap(background_);
    if (cursor_) destroy_bitmap(cursor_);
    if (font_) destroy_font(font_);
    for (const char* name : {artwork::kBackgroundFile, artwork::kCursorFile, artwork::kFontFile})
      std::remove(path(name).c_str());
    rmdir(dir_.c_str());
  }
  static std::string path(const char* name) { return dir_ + "/" + name; }

  static std::string dir_;
  static BITMAP* background_;
  static BITMAP* cursor_;
  static FONT* font_;
};

std::string Artwork::dir_;
BITMAP* Artwork::background_ = nullptr;
BITMAP* Artwork::cursor_ = nullptr;
FONT* Artwork::font_ = nullptr;

TEST_F(Artwork, BackgroundCoversTheScreenWithAPlainDarkWorld) {
  ASSERT_NE(background_, nullptr);
  EXPECT_GE(background_->w, 1024);
  EXPECT_GE(background_->h, 768);

  // Every cell of the 825 x 525 field lies on one dark colour.
  const artwork::Rect w = artwork::kWorldArea;
  EXPECT_EQ(w.x2 - w.x1 + 1, 825);
  EXPECT_EQ(w.y2 - w.y1 + 1, 525);
  const Rgb ground = pixel(background_, w.x1, w.y1);
  EXPECT_LE(ground.maxChannel(), 16);
  int off = 0;
  for (int y = w.y1; y <= w.y2; ++y)
    for (int x = w.x1; x <= w.x2; ++x) off += !(pixel(background_, x, y) == ground);
  EXPECT_EQ(off, 0);
  // The frame around it is visible.
  EXPECT_GT(pixel(background_, w.x1 - 1, w.y1 + 100).sum(), ground.sum() + 60);
  EXPECT_GT(pixel(background_, w.x2 + 1, w.y2 - 100).sum(), ground.sum() + 60);
}

TEST_F(Artwork, ButtonFacesStandOutExactlyOnTheirRectangles) {
  ASSERT_NE(background_, nullptr);
  for (const artwork::ButtonFace& b : artwork::kButtonFaces) {
    SCOPED_TRACE("button " + std::to_string(b.id));
    const artwork::Rect r = b.r;
    // The face is brighter than what lies around it...
    EXPECT_GT(meanBrightness(background_, r), meanRingBrightness(background_, r) + 20);
    // ...and its edge is a rim that stops at the rectangle.
    const Rgb rim = pixel(background_, r.x1, r.y1);
    for (int x = r.x1; x <= r.x2; ++x) {
      EXPECT_EQ(pixel(background_, x, r.y1), rim);
      EXPECT_EQ(pixel(background_, x, r.y2), rim);
      EXPECT_FALSE(pixel(background_, x, r.y1 - 1) == rim);
      EXPECT_FALSE(pixel(background_, x, r.y2 + 1) == rim);
    }
    for (int y = r.y1; y <= r.y2; ++y) {
      EXPECT_EQ(pixel(background_, r.x1, y), rim);
      EXPECT_EQ(pixel(background_, r.x2, y), rim);
    }
    // Labelled faces carry bright text; slot plates stay plain, since the
    // program draws their marker, label and glyph.
    int bright = 0;
    for (int y = r.y1; y <= r.y2; ++y)
      for (int x = r.x1; x <= r.x2; ++x) bright += pixel(background_, x, y).maxChannel() > 180;
    if (b.label[0]) {
      EXPECT_GE(bright, 6);
    } else {
      EXPECT_EQ(bright, 0);
    }
  }
}

TEST_F(Artwork, PanelsBehindTheReadoutsAreDarkAndFramed) {
  ASSERT_NE(background_, nullptr);
  // The graph and the tolerance bar are drawn over these areas in bright
  // cyan; their ground must stay dark and even.
  for (artwork::Rect r : {artwork::kGraphArea, artwork::kToleranceGroove}) {
    for (int y = r.y1; y <= r.y2; ++y)
      for (int x = r.x1; x <= r.x2; ++x) ASSERT_LE(pixel(background_, x, y).maxChannel(), 40);
    EXPECT_NE(meanRingBrightness(background_, r), meanBrightness(background_, r));
  }
  // The magnifier picture sits in a frame that stands out of its panel.
  const artwork::Rect m = artwork::kMagnifierArea;
  EXPECT_GT(pixel(background_, m.x1 - 2, m.y1 + 75).sum(), 200);
  EXPECT_GT(pixel(background_, m.x2 + 2, m.y1 + 75).sum(), 200);
}

TEST_F(Artwork, CursorIsAnArrowWithItsTipAtTheTopLeft) {
  ASSERT_NE(cursor_, nullptr);
  ASSERT_GE(cursor_->w, 20);
  ASSERT_GE(cursor_->h, 20);
  const Rgb magenta = {255, 0, 255};
  // The tip is the hot spot.
  EXPECT_FALSE(pixel(cursor_, 0, 0) == magenta);
  int white = 0, black = 0, clear = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      const Rgb p = pixel(cursor_, x, y);
      white += p == Rgb{255, 255, 255};
      black += p == Rgb{0, 0, 0};
      clear += p == magenta;
      // The arrow grows down and to the right of the tip: nothing lies
      // above the diagonal from it.
      if (x > y) {
        EXPECT_EQ(p, magenta) << x << "," << y;
      }
    }
  EXPECT_EQ(white + black + clear, 400);
  EXPECT_GT(white, 30);  // a light body, seen on the dark world...
  EXPECT_GT(black, 20);  // ...and a dark outline, seen on the light panels
  EXPECT_GT(clear, 250);
  EXPECT_EQ(pixel(cursor_, 19, 19), magenta);
}

TEST_F(Artwork, FontHasEveryPrintableCharacterEightPixelsWide) {
  ASSERT_NE(font_, nullptr);
  EXPECT_EQ(text_length(font_, "A"), 8);
  EXPECT_EQ(text_height(font_), 8);
  std::string all;
  for (int c = artwork::kGlyphFirst; c <= artwork::kGlyphLast; ++c) all += static_cast<char>(c);
  EXPECT_EQ(text_length(font_, all.c_str()), 8 * 95);

  // Each character draws exactly its glyph, in the colour asked for, and
  // leaves its background alone when that is -1.
  BITMAP* cell = create_bitmap_ex(32, 8, 8);
  ASSERT_NE(cell, nullptr);
  const int ink = makecol32(0, 255, 225);
  const int paper = makecol32(10, 20, 30);
  for (int c = artwork::kGlyphFirst; c <= artwork::kGlyphLast; ++c) {
    SCOPED_TRACE(std::string("character '") + static_cast<char>(c) + "'");
    const char text[2] = {static_cast<char>(c), 0};
    EXPECT_EQ(text_length(font_, text), 8);
    clear_to_color(cell, paper);
    textout_ex(cell, font_, text, 0, 0, ink, -1);
    const char* const* rows = artwork::glyphRows(c);
    int wrong = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        wrong += getpixel(cell, x, y) != (rows[y][x] == '#' ? ink : paper);
    EXPECT_EQ(wrong, 0);
  }
  destroy_bitmap(cell);
}

}  // namespace

namespace {

std::string readBytes(const std::string& name) {
  std::string bytes;
  if (FILE* in = std::fopen(name.c_str(), "rb")) {
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, n);
    std::fclose(in);
  }
  return bytes;
}

void writeBytes(const std::string& name, const std::string& bytes) {
  FILE* out = std::fopen(name.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

}  // namespace

// The start-up check refuses what the library's loaders would take for a
// picture: a file cut short anywhere, an empty one, noise; the files as
// drawn pass it.
TEST_F(Artwork, OnlyWholeFilesPassTheStartUpCheck) {
  for (const char* name : {artwork::kBackgroundFile, artwork::kCursorFile, artwork::kFontFile}) {
    SCOPED_TRACE(name);
    const std::string good = readBytes(path(name));
    ASSERT_GT(good.size(), 100u);
    EXPECT_TRUE(resourceFileIsWhole(path(name).c_str()));

    const std::string copy = path((std::string("damaged") + std::strrchr(name, '.')).c_str());
    for (size_t length : {size_t{0}, size_t{1}, size_t{17}, size_t{60}, size_t{300}, good.size() / 2,
                          good.size() - 1}) {
      writeBytes(copy, good.substr(0, length));
      EXPECT_FALSE(resourceFileIsWhole(copy.c_str())) << "cut to " << length << " bytes";
    }
    std::string noise(5000, '\0');
    uint32_t s = 12345;
    for (char& c : noise) c = (char)((s = s * 1103515245u + 12345u) >> 24);
    writeBytes(copy, noise);
    EXPECT_FALSE(resourceFileIsWhole(copy.c_str()));
    // Bytes after the end of the picture do no harm.
    writeBytes(copy, good + "trailing");
    EXPECT_TRUE(resourceFileIsWhole(copy.c_str()));
    std::remove(copy.c_str());
  }
  EXPECT_FALSE(resourceFileIsWhole(path("absent.bmp").c_str()));
  EXPECT_FALSE(resourceFileIsWhole(dir_.c_str()));
}
