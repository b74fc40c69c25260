// The magnifier's enlargement, its black borders at the screen's edges and
// what it does without a working bitmap.
#include <climits>

#include "ui_testing.h"

namespace {

// A distinct colour for every screen pixel, never 0.
uint32_t patternAt(int x, int y) { return 0x01000000u | (uint32_t)(x * 768 + y + 1); }

class MagnifierTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    initMagnifier(3);
    screenBitmap = makeBitmap(kScreenWidth, kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) putpixel(screenBitmap, x, y, (int)patternAt(x, y));
    original = makeBitmap(kScreenWidth, kScreenHeight);
    blit(screenBitmap, original, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
  }
  void TearDown() override {
    initMagnifier(3);
    UiTest::TearDown();
  }

  // Every output pixel against the source pixel it enlarges (black when the
  // source lies outside the readable area), and nothing else changed.
  void expectEnlargement(int cx, int cy, int destX, int destY, int f) {
    const int side = 50 * f;
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) {
        uint32_t expected = pixelAt(original, x, y);
        if (x >= destX && x < destX + side && y >= destY && y < destY + side) {
          const int sx = cx - 25 + (x - destX) / f, sy = cy - 25 + (y - destY) / f;
          expected = (sx > 0 && sx < 1024 && sy > 0 && sy < 768) ? pixelAt(original, sx, sy) : 0;
        }
        ASSERT_EQ(pixelAt(screenBitmap, x, y), expected) << x << "," << y;
      }
  }

  BITMAP* screenBitmap = nullptr;
  BITMAP* original = nullptr;
};

TEST_F(MagnifierTest, EachSourcePixelBecomesAnFByFBlock) {
  drawMagnifier(screenBitmap, 500, 400, 852, 599, 3);
  expectEnlargement(500, 400, 852, 599, 3);
  // The centre point is the 26th source pixel: output block 25 starts at 75.
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 75, 599 + 75), patternAt(500, 400));
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 74, 599 + 74), patternAt(499, 399));
}

TEST_F(MagnifierTest, OtherFactorsRemakeTheWorkingBitmap) {
  drawMagnifier(screenBitmap, 300, 300, 10, 20, 2);
  expectEnlargement(300, 300, 10, 20, 2);
}

TEST_F(MagnifierTest, MouseAtTopLeftCornerGivesBlackLeftAndTopBorders) {
  drawMagnifier(screenBitmap, 0, 0, 852, 599, 3);
  expectEnlargement(0, 0, 852, 599, 3);
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 77, 599 + 100), 0u);
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 100, 599 + 77), 0u);
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 78, 599 + 78), patternAt(1, 1));
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 149, 599 + 149), patternAt(24, 24));
}

TEST_F(MagnifierTest, MouseAtBottomRightCornerGivesBlackRightAndBottomBorders) {
  drawMagnifier(screenBitmap, 1023, 767, 852, 599, 3);
  expectEnlargement(1023, 767, 852, 599, 3);
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 77, 599 + 77), patternAt(1023, 767));
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 78, 599 + 10), 0u);
  EXPECT_EQ(pixelAt(screenBitmap, 852 + 10, 599 + 78), 0u);
}

TEST_F(MagnifierTest, SourceOverlappingTheOutputShowsWhatWasThereBefore) {
  drawMagnifier(screenBitmap, 900, 650, 852, 599, 3);
  expectEnlargement(900, 650, 852, 599, 3);
}

TEST_F(MagnifierTest, OutputIsClippedAtTheBitmapEdges) {
  drawMagnifier(screenBitmap, 400, 300, -100, 700, 3);
  expectEnlargement(400, 300, -100, 700, 3);
}

TEST_F(MagnifierTest, OtherColourDepthsGiveTheSamePicture) {
  BITMAP* deep = create_bitmap_ex(16, 200, 200);
  bitmaps.push_back(deep);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) putpixel(deep, x, y, (x * 200 + y) & 0xffff);
  drawMagnifier(deep, 40, 30, 60, 50, 2);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      const int sx = 15 + x / 2, sy = 5 + y / 2;
      ASSERT_EQ(getpixel(deep, 60 + x, 50 + y), (sx * 200 + sy) & 0xffff) << x << "," << y;
    }
}

TEST_F(MagnifierTest, DrawsNothingWithoutAWorkingBitmap) {
  releaseMagnifier();
  drawMagnifier(screenBitmap, 500, 400, 852, 599, 3);
  initMagnifier(0);  // no bitmap can be made for factor 0
  drawMagnifier(screenBitmap, 500, 400, 852, 599, 3);
  drawMagnifier(screenBitmap, 500, 400, 852, 599, 0);
  EXPECT_EQ(differingPixels(screenBitmap, original), 0);
}

TEST_F(MagnifierTest, ExtremeCoordinatesAreSafe) {
  drawMagnifier(screenBitmap, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 3);
  drawMagnifier(screenBitmap, INT_MAX, INT_MIN, INT_MIN, INT_MAX, 3);
  EXPECT_EQ(differingPixels(screenBitmap, original), 0);
  drawMagnifier(screenBitmap, INT_MAX, INT_MAX, 0, 0, 3);  // all source pixels black
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 150; ++x) ASSERT_EQ(pixelAt(screenBitmap, x, y), 0u);
}

}  // namespace
