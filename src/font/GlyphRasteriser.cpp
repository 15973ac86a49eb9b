// The glyph rasteriser's parts that every platform shares: opening the font once (and
// remembering a failure until the setting changes) and reading the surface.

#include "font/GlyphRasteriser.h"

namespace fw {

bool GlyphRasteriser::IsOpen() const {
  return face_ != nullptr;
}

bool GlyphRasteriser::Open(std::string* error) {
  if (face_) {
    return true;
  }
  if (!openError_.empty()) {
    if (error != nullptr) {
      *error = openError_;
    }
    return false;
  }
  std::string message;
  const bool ok = TryOpen(&message);
  if (!ok) {
    openError_ = message;
    if (error != nullptr) {
      *error = message;
    }
  }
  return ok;
}

bool GlyphRasteriser::Ink(int x, int y) const {
  if (x < 0 || y < 0 || x >= kCellSize || y >= kCellSize) {
    return false;
  }
  return pixels_[y][x] != 0;
}

}  // namespace fw
