// Draws the jumper picture of the instructions window (127x80, 4 bits per
// pixel bitmap file) and the program icon (32x32 and 16x16, 16-colour icon
// file), and
// writes both as C++ byte arrays. The output is committed; a test regenerates
// it and compares.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Colour : std::uint8_t {
  Black,
  Maroon,
  Green,
  Olive,
  Navy,
  Purple,
  Teal,
  Silver,
  Grey,
  Red,
  Lime,
  Yellow,
  Blue,
  Fuchsia,
  Aqua,
  White
};

// The system's standard 16-colour palette, as red, green, blue.
const std::uint8_t Palette[16][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

struct Canvas {
  int Width, Height;
  std::vector<std::uint8_t> Pixels; // top row first
  Canvas(int w, int h, Colour fill) : Width(w), Height(h), Pixels(w * h, fill) {}
  void Set(int x, int y, Colour c) {
    if (x >= 0 && y >= 0 && x < Width && y < Height)
      Pixels[y * Width + x] = c;
  }
  void Frame(int left, int top, int right, int bottom, Colour c) {
    for (int x = left; x <= right; ++x)
      Set(x, top, c), Set(x, bottom, c);
    for (int y = top; y <= bottom; ++y)
      Set(left, y, c), Set(right, y, c);
  }
  void Disc(int cx, int cy, double r, Colour c) {
    for (int y = cy - 5; y <= cy + 5; ++y)
      for (int x = cx - 5; x <= cx + 5; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
          Set(x, y, c);
  }
  void Text(int left, int top, const char *text, Colour c);
};

// A 5x7 pixel font holding the letters the picture needs.
struct Glyph {
  char Letter;
  const char *Rows[7];
};
const Glyph Font[] = {
    {'S', {".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    {'w', {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
};
constexpr int Advance = 6;

int TextWidth(const char *text) {
  return static_cast<int>(std::strlen(text)) * Advance - 1;
}

void Canvas::Text(int left, int top, const char *text, Colour c) {
  for (int i = 0; text[i]; ++i)
    for (const Glyph &g : Font)
      if (g.Letter == text[i])
        for (int y = 0; y < 7; ++y)
          for (int x = 0; x < 5; ++x)
            if (g.Rows[y][x] == '#')
              Set(left + i * Advance + x, top + y, c);
}

void Put16(std::vector<std::uint8_t> &out, unsigned v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t> &out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Information header, palette and 4-bit pixel rows (bottom row first).
void PutDib(std::vector<std::uint8_t> &out, const Canvas &c, int headerHeight, unsigned imageSize) {
  Put32(out, 40);
  Put32(out, c.Width);
  Put32(out, headerHeight);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0); // uncompressed
  Put32(out, imageSize);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 16);
  Put32(out, 0);
  for (const auto &rgb : Palette) {
    out.push_back(rgb[2]);
    out.push_back(rgb[1]);
    out.push_back(rgb[0]);
    out.push_back(0);
  }
  const int stride = ((c.Width * 4 + 31) / 32) * 4;
  for (int y = c.Height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(stride, 0);
    for (int x = 0; x < c.Width; ++x)
      row[x / 2] |= c.Pixels[y * c.Width + x] << (x % 2 ? 0 : 4);
    out.insert(out.end(), row.begin(), row.end());
  }
}

std::vector<std::uint8_t> BitmapFile(const Canvas &c) {
  const int stride = ((c.Width * 4 + 31) / 32) * 4;
  const unsigned image = stride * c.Height;
  const unsigned offset = 14 + 40 + 16 * 4;
  std::vector<std::uint8_t> out{'B', 'M'};
  Put32(out, offset + image);
  Put32(out, 0);
  Put32(out, offset);
  PutDib(out, c, c.Height, image);
  return out;
}

struct IconImage {
  Canvas Picture;
  std::vector<bool> Transparent; // left out through the mask
};

unsigned IconDibSize(const Canvas &c) {
  const unsigned xorSize = ((c.Width * 4 + 31) / 32) * 4 * c.Height;
  const unsigned andSize = ((c.Width + 31) / 32) * 4 * c.Height;
  return 40 + 64 + xorSize + andSize;
}

// An icon file with 16-colour images, in the order given (the first is the
// one a reader without size selection takes).
std::vector<std::uint8_t> IconFile(const std::vector<IconImage> &images) {
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1); // icon
  Put16(out, images.size());
  unsigned offset = 6 + 16 * images.size();
  for (const IconImage &image : images) {
    const Canvas &c = image.Picture;
    out.push_back(c.Width);
    out.push_back(c.Height);
    out.push_back(16);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, IconDibSize(c));
    Put32(out, offset);
    offset += IconDibSize(c);
  }
  for (const IconImage &image : images) {
    const Canvas &c = image.Picture;
    const unsigned xorSize = ((c.Width * 4 + 31) / 32) * 4 * c.Height;
    const int maskStride = ((c.Width + 31) / 32) * 4;
    PutDib(out, c, c.Height * 2, xorSize + maskStride * c.Height);
    for (int y = c.Height - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row(maskStride, 0);
      for (int x = 0; x < c.Width; ++x)
        if (image.Transparent[y * c.Width + x])
          row[x / 8] |= 0x80 >> (x % 8);
      out.insert(out.end(), row.begin(), row.end());
    }
  }
  return out;
}

// The jumper block at the back of the drive: two rows of eight pins, the
// SCSI ID pins framed in grey, the two firmware pins framed in red.
Canvas Jumper() {
  Canvas c(127, 80, Silver);
  const int pitch = 14, firstX = 10, upperY = 30, lowerY = 44;
  for (int col = 0; col < 8; ++col) {
    c.Disc(firstX + col * pitch, upperY, 4.2, Black);
    c.Disc(firstX + col * pitch, lowerY, 4.2, Black);
  }
  const int greyLeft = firstX - 7, greyRight = firstX + 2 * pitch + 7;
  c.Frame(greyLeft, upperY - 8, greyRight, lowerY + 8, Grey);
  c.Text((greyLeft + greyRight - TextWidth("SCSI ID")) / 2 + 1, upperY - 18, "SCSI ID", Grey);
  const int redLeft = firstX + 6 * pitch - 7, redRight = firstX + 7 * pitch + 7;
  c.Frame(redLeft, lowerY - 7, redRight, lowerY + 7, Red);
  c.Text((redLeft + redRight - TextWidth("Firmware")) / 2 + 1, lowerY + 11, "Firmware", Red);
  return c;
}

// The chip's proportions at one icon size, in pixels from the centre.
struct ChipShape {
  int Size;
  double Body, Rim;          // half width of the package, width of its grey rim
  double PinReach, PinSpan;  // how far the pins stick out, half the pin row
  double PinPitch, PinWidth; // pins along the edges
};

// A chip package turned by 45 degrees with yellow pins along its four edges.
IconImage Icon(const ChipShape &shape) {
  const int n = shape.Size;
  IconImage image{Canvas(n, n, Black), std::vector<bool>(n * n, true)};
  Canvas &c = image.Picture;
  std::vector<bool> &transparent = image.Transparent;
  const double centre = (n - 1) / 2.0, s = std::sqrt(0.5);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double u = ((x - centre) + (y - centre)) * s;
      const double v = ((x - centre) - (y - centre)) * s;
      const double au = std::fabs(u), av = std::fabs(v);
      Colour colour = Black;
      bool paint = false;
      const double body = shape.Body, inner = shape.Body - shape.Rim;
      if (au <= body && av <= body) {
        paint = true;
        colour = (au > inner || av > inner) ? Grey : Black;
      } else if ((au <= shape.PinReach && av <= shape.PinSpan) ||
                 (av <= shape.PinReach && au <= shape.PinSpan)) {
        const double along = au <= shape.PinSpan && av > body ? u : v;
        const double phase = std::fmod(along + shape.PinSpan + 100.0, shape.PinPitch);
        paint = phase < shape.PinWidth;
        colour = Yellow;
      }
      if (paint) {
        c.Set(x, y, colour);
        transparent[y * n + x] = false;
      }
    }
  // The pin-one mark, towards the top corner: two by two pixels, one at 16.
  const int markX = n / 2 - 1, markY = n * 10 / 32;
  c.Set(markX, markY, White);
  if (n >= 32)
    c.Set(markX + 1, markY, White), c.Set(markX, markY + 1, White),
        c.Set(markX + 1, markY + 1, White);
  return image;
}

void WriteArray(std::FILE *f, const char *name, const std::vector<std::uint8_t> &bytes) {
  std::fprintf(f, "const unsigned char %s[] = {", name);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    std::fprintf(f, "%s0x%02X,", i % 16 ? " " : "\n    ", bytes[i]);
  std::fprintf(f, "\n};\nconst std::size_t %sSize = sizeof %s;\n\n", name, name);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkbitmaps OUTPUT.cpp\n");
    return 2;
  }
  std::FILE *f = std::fopen(argv[1], "w");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  // The title bar and the task bar take the small image; the large one is
  // first, for readers that take the first image.
  const std::vector<IconImage> icon = {Icon({32, 8.0, 1.0, 12.5, 6.5, 3.0, 1.6}),
                                       Icon({16, 4.3, 1.0, 7.0, 3.3, 2.0, 1.0})};
  std::fprintf(f, "// Generated by tools/mkbitmaps; do not edit.\n"
                  "#include \"platform/toolkit/layouts.h\"\n\nnamespace toolkit {\n\n");
  WriteArray(f, "JumperBitmap", BitmapFile(Jumper()));
  WriteArray(f, "ProgramIcon", IconFile(icon));
  std::fprintf(f, "} // namespace toolkit\n");
  return std::fclose(f) == 0 ? 0 : 1;
}
