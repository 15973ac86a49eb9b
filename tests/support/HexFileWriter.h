#pragma once
// Writes firmware-chip hex files for tests: Intel-HEX-style lines ":" count, address, type,
// data, checksum (two's complement of the byte sum), each ended by CR LF. Keeps the
// records it wrote so that a test can tell which bytes belong at which page and address
// (a record without data names the page of the records after it by its address low byte).

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fw::test {

class HexFileWriter {
 public:
  // A data record of type 00.
  void Data(uint16_t address, const std::vector<uint8_t>& data) {
    Line(static_cast<uint8_t>(data.size()), address, 0x00, data);
    for (size_t i = 0; i < data.size(); ++i) {
      expected_[{page_, static_cast<int>(address + i)}] = data[i];
    }
    dataBytes_ += data.size();
  }
  // A record without data whose address low byte is the page of the records after it.
  void Page(uint8_t page) {
    Line(0, page, 0x00, {});
    page_ = page;
  }
  // The end record :00000001FF.
  void End() { Line(0, 0x0000, 0x01, {}); }

  const std::string& Text() const { return text_; }
  // (page, address) -> byte, as a chip programmed from this file holds them.
  const std::map<std::pair<int, int>, uint8_t>& Expected() const { return expected_; }
  size_t DataBytes() const { return dataBytes_; }

  bool Save(const std::string& path) const {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text_;
    return static_cast<bool>(f);
  }

 private:
  void Line(uint8_t n, uint16_t address, uint8_t type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {n, static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
      sum = static_cast<uint8_t>(sum + b);
    }
    bytes.push_back(static_cast<uint8_t>(0x100 - sum));
    text_ += ':';
    char pair[3];
    for (uint8_t b : bytes) {
      std::snprintf(pair, sizeof pair, "%02X", b);
      text_ += pair;
    }
    text_ += "\r\n";
  }

  std::string text_;
  std::map<std::pair<int, int>, uint8_t> expected_;
  int page_ = 0;
  size_t dataBytes_ = 0;
};

}  // namespace fw::test
