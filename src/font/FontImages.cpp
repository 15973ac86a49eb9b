#include "font/FontImages.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

#include "config/Installation.h"
#include "core/AppValues.h"
#include "font/CharacterList.h"
#include "font/FontLibrary.h"
#include "platform/FileIo.h"

namespace fw {
namespace {

// A character list can hold at most 9600 entries of at most 1024 code units each; a file
// far beyond that is not a character list.
constexpr std::streamoff kMaxListFileSize = 64 * 1024 * 1024;

// Reads at most `limit` + 1 bytes of `path` into `out`. False when it cannot be opened.
bool ReadFileUpTo(const std::string& path, std::streamoff limit, std::vector<uint8_t>* out) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  out->clear();
  char chunk[65536];
  while (in && static_cast<std::streamoff>(out->size()) <= limit) {
    in.read(chunk, sizeof(chunk));
    out->insert(out->end(), chunk, chunk + in.gcount());
  }
  if (in.bad()) {
    return false;
  }
  if (static_cast<std::streamoff>(out->size()) > limit + 1) {
    out->resize(static_cast<size_t>(limit + 1));
  }
  return true;
}

std::string ResolveFontFile(const Installation& inst) {
  const std::string& f = inst.glyphFontFile;
  if (f.empty() || f[0] == '/' || (f.size() > 1 && f[1] == ':')) {
    return f;
  }
  return inst.programDir + f;
}

}  // namespace

std::string LoadLanguageFont(Installation& inst, uint16_t languageId) {
  return LoadLanguageImage(inst.programDir, languageId, inst.fontBufferC, inst.languageFontSize);
}

std::string LoadLanguageImage(const std::string& programDir, uint16_t languageId,
                              std::vector<uint8_t>& buffer, uint32_t& size) {
  char name[16];
  std::snprintf(name, sizeof(name), "%04X.bin", static_cast<unsigned>(languageId));
  FileRead file = ReadRegularFile(programDir + name, FontLibrary::kMaxPayload);
  if (!file.ok()) {
    // Missing, unreadable or too large for the image: no language image.
    size = 0;
    return file.status == FileReadStatus::kMissing ? std::string() : file.problem;
  }
  const std::string& data = file.bytes;
  if (buffer.size() < FontLibrary::kBufferSize) {
    buffer.resize(FontLibrary::kBufferSize);
  }
  std::fill(buffer.begin(), buffer.end(), 0);
  if (!data.empty()) {  // an empty file has no bytes to copy (and no data pointer)
    std::memcpy(buffer.data() + FontLibrary::kHeaderSize, data.data(), data.size());
  }
  size = static_cast<uint32_t>(data.size() + FontLibrary::kHeaderSize);
  FontLibrary::WriteLanguage(buffer.data(), languageId);
  FontLibrary::WriteVersion(buffer.data(), "1.01.03");
  return std::string();
}

std::string BuildCharacterSetFont(Installation& inst, const std::string& fileName,
                                  std::string_view versionText, uint16_t languageId,
                                  size_t payloadLength, bool withIndexTable,
                                  std::vector<uint8_t>& buffer) {
  const std::string path = inst.programDir + fileName;
  std::vector<uint8_t> data;
  if (!ReadFileUpTo(path, kMaxListFileSize, &data)) {
    return "Cannot open the character list file \"" + path + "\".";
  }
  if (static_cast<std::streamoff>(data.size()) > kMaxListFileSize) {
    return "The character list file \"" + path + "\" is too large.";
  }
  std::vector<uint8_t>& scratch = inst.glyphScratch;
  std::fill(scratch.begin(), scratch.end(), 0);
  CharacterListResult list;
  try {
    list = ReadCharacterList(data.data(), data.size(), scratch.data(), scratch.size());
  } catch (const std::exception& e) {
    return "Cannot read the character list file \"" + path + "\": " + e.what();
  }
  if (list.tooManyLines) {
    return "The character list file \"" + path + "\" has more than " +
           std::to_string(scratch.size() / kCharacterEntrySize) + " lines.";
  }
  GlyphRasteriser& rasteriser = inst.glyphBuilder.Rasteriser();
  rasteriser.SetFontFile(ResolveFontFile(inst));
  std::string fontError;
  if (!rasteriser.Open(&fontError)) {
    return fontError;
  }
  if (buffer.size() < FontLibrary::kBufferSize) {
    buffer.resize(FontLibrary::kBufferSize);
  }
  const CharacterSetParams params{versionText, languageId, payloadLength, withIndexTable};
  try {
    RenderCharacterSet(inst.glyphBuilder, scratch.data(), list.entryCount, params,
                       App().fullWidthGlyphs, buffer.data());
  } catch (const std::exception& e) {
    // The code page conversion is missing from the system.
    inst.glyphBuilder.renderingEnabled = 0;
    inst.glyphBuilder.SetEntryLimit(GlyphImageBuilder::kEntryCount);
    return "Cannot render the character list file \"" + path + "\": " + e.what();
  }
  App().fullWidthGlyphs = true;
  return {};
}

std::string BuildFontImages(Installation& inst) {
  LoadLanguageFont(inst, 0x0409);
  std::string error = BuildCharacterSetFont(inst, "SimpleCH.dat", "8.01.01", 0x0804, 153550, false,
                                            inst.fontBufferA);
  if (!error.empty()) {
    return error;
  }
  return BuildCharacterSetFont(inst, "SimpleCH_0412.dat", "9.03.03", 0x0412, 143310, true,
                               inst.fontBufferB);
}

}  // namespace fw
