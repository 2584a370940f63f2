// Draws the jumper picture of the instructions window (127x80, 4 bits per
// pixel bitmap file) and the program icon (32x32, 16-colour icon file), and
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

// An icon file with one 16-colour image; pixels where transparent is true
// are left out through the mask.
std::vector<std::uint8_t> IconFile(const Canvas &c, const std::vector<bool> &transparent) {
  const unsigned xorSize = ((c.Width * 4 + 31) / 32) * 4 * c.Height;
  const int maskStride = ((c.Width + 31) / 32) * 4;
  const unsigned andSize = maskStride * c.Height;
  const unsigned dibSize = 40 + 64 + xorSize + andSize;
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1); // icon
  Put16(out, 1); // one image
  out.push_back(c.Width);
  out.push_back(c.Height);
  out.push_back(16);
  out.push_back(0);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, dibSize);
  Put32(out, 6 + 16);
  PutDib(out, c, c.Height * 2, xorSize + andSize);
  for (int y = c.Height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(maskStride, 0);
    for (int x = 0; x < c.Width; ++x)
      if (transparent[y * c.Width + x])
        row[x / 8] |= 0x80 >> (x % 8);
    out.insert(out.end(), row.begin(), row.end());
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

// A chip package turned by 45 degrees with yellow pins along its four edges.
Canvas Icon(std::vector<bool> &transparent) {
  Canvas c(32, 32, Black);
  transparent.assign(32 * 32, true);
  const double centre = 15.5, s = std::sqrt(0.5);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const double u = ((x - centre) + (y - centre)) * s;
      const double v = ((x - centre) - (y - centre)) * s;
      const double au = std::fabs(u), av = std::fabs(v);
      Colour colour = Black;
      bool paint = false;
      if (au <= 8.0 && av <= 8.0) {
        paint = true;
        colour = (au > 7.0 || av > 7.0) ? Grey : Black;
      } else if ((au <= 12.5 && av <= 6.5) || (av <= 12.5 && au <= 6.5)) {
        const double along = au <= 6.5 && av > 8.0 ? u : v;
        const double phase = std::fmod(along + 6.5 + 100.0, 3.0);
        paint = phase < 1.6;
        colour = Yellow;
      }
      if (paint) {
        c.Set(x, y, colour);
        transparent[y * 32 + x] = false;
      }
    }
  // The pin-one mark.
  c.Set(15, 10, White), c.Set(16, 10, White), c.Set(15, 11, White), c.Set(16, 11, White);
  return c;
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
  std::vector<bool> transparent;
  const Canvas icon = Icon(transparent);
  std::fprintf(f, "// Generated by tools/mkbitmaps; do not edit.\n"
                  "#include \"platform/toolkit/layouts.h\"\n\nnamespace toolkit {\n\n");
  WriteArray(f, "JumperBitmap", BitmapFile(Jumper()));
  WriteArray(f, "ProgramIcon", IconFile(icon, transparent));
  std::fprintf(f, "} // namespace toolkit\n");
  return std::fclose(f) == 0 ? 0 : 1;
}
