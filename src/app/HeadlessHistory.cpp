#include "app/HeadlessHistory.h"

#include <algorithm>

namespace fw {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

// The columns every listing has, in order: the header and a job's values.
const std::vector<std::string>& Columns() {
  static const std::vector<std::string> names = {"job",
                                                 "started (UTC)",
                                                 "ended (UTC)",
                                                 "kind",
                                                 "result",
                                                 "host",
                                                 "user",
                                                 "port",
                                                 "device",
                                                 "radio model",
                                                 "identity",
                                                 "model id",
                                                 "area",
                                                 "text 1",
                                                 "text 2",
                                                 "text 3",
                                                 "date 1",
                                                 "date 2",
                                                 "firmware version",
                                                 "backup",
                                                 "failed row",
                                                 "box",
                                                 "write-back of",
                                                 "installation",
                                                 "program version",
                                                 "adapter"};
  return names;
}

std::vector<std::string> Values(const JournalJob& j) {
  return {std::to_string(j.id),
          j.startedUtc,
          j.endedUtc,
          j.kind,
          j.result,
          j.host,
          j.user,
          j.port > 0 ? "COM" + std::to_string(j.port) : std::string(),
          j.device,
          j.radioModel,
          j.identityText,
          j.modelId,
          j.area,
          j.infoText1,
          j.infoText2,
          j.infoText3,
          j.infoDate1,
          j.infoDate2,
          j.firmwareVersion >= 0 ? std::to_string(j.firmwareVersion) : std::string(),
          j.backup,
          j.failedRow,
          j.boxText,
          j.writeBackOf != 0 ? std::to_string(j.writeBackOf) : j.writeBackFile,
          j.installation,
          j.programVersion,
          j.adapter};
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JobJson(const JournalJob& j) {
  std::string s = "{\"job\":" + std::to_string(j.id) + ",\"uid\":" + JsonQuote(j.uid);
  auto add = [&s](const char* key, const std::string& value) {
    s += std::string(",\"") + key + "\":" + JsonQuote(value);
  };
  add("started", j.startedUtc);
  add("ended", j.endedUtc);
  add("kind", j.kind);
  add("result", j.result);
  add("host", j.host);
  add("user", j.user);
  s += ",\"port\":" + std::to_string(j.port);
  add("device", j.device);
  add("adapter", j.adapter);
  add("identifyReply", j.identifyReply);
  add("radioModel", j.radioModel);
  add("identity", j.identityText);
  add("identityHex", j.identityHex);
  add("modelId", j.modelId);
  add("area", j.area);
  add("text1", j.infoText1);
  add("text2", j.infoText2);
  add("text3", j.infoText3);
  add("date1", j.infoDate1);
  add("date2", j.infoDate2);
  s += ",\"firmwareVersion\":" + std::to_string(j.firmwareVersion);
  add("backup", j.backup);
  add("failedRow", j.failedRow);
  add("box", j.boxText);
  s += ",\"readAttempts\":" + std::to_string(j.readAttempts) +
       ",\"chipAttempts\":" + std::to_string(j.chipAttempts) +
       ",\"writeBackOf\":" + std::to_string(j.writeBackOf);
  add("writeBackFile", j.writeBackFile);
  add("installation", j.installation);
  add("programVersion", j.programVersion);
  s += ",\"files\":[";
  for (size_t i = 0; i < j.files.size(); ++i) {
    const JournalFile& f = j.files[i];
    s += std::string(i ? "," : "") + "{\"role\":" + JsonQuote(f.role) +
         ",\"path\":" + JsonQuote(f.path) + ",\"size\":" + std::to_string(f.size) +
         ",\"sha256\":" + JsonQuote(f.sha256) + "}";
  }
  s += "],\"steps\":[";
  for (size_t i = 0; i < j.steps.size(); ++i) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", j.steps[i].seconds);
    s += std::string(i ? "," : "") + "{\"mark\":" + JsonQuote(j.steps[i].mark) +
         ",\"text\":" + JsonQuote(j.steps[i].text) + ",\"seconds\":" + seconds + "}";
  }
  s += "],\"boxes\":[";
  for (size_t i = 0; i < j.boxes.size(); ++i) {
    s += std::string(i ? "," : "") + "{\"text\":" + JsonQuote(j.boxes[i].text) +
         ",\"detail\":" + JsonQuote(j.boxes[i].detail) + "}";
  }
  return s + "]}";
}

std::string HistoryCsv(const std::vector<JournalJob>& jobs) {
  std::string csv;
  const auto line = [&csv](const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
      csv += (i ? "," : "") + CsvField(fields[i]);
    }
    csv += "\r\n";
  };
  line(Columns());
  for (const JournalJob& j : jobs) {
    line(Values(j));
  }
  return csv;
}

const std::vector<std::string>& HistoryTableColumns() {
  static const std::vector<std::string> names = {"job",    "started (UTC)", "kind",
                                                 "port",   "radio model",   "model id",
                                                 "result", "backup",        "ended at"};
  return names;
}

std::vector<std::string> HistoryTableRow(const JournalJob& j, bool benches) {
  const std::string end = j.failedRow.empty() ? j.boxText : j.failedRow;
  return {benches ? j.host + "/" + std::to_string(j.id) : std::to_string(j.id),
          j.startedUtc.substr(0, 19),
          j.kind,
          j.port > 0 ? "COM" + std::to_string(j.port) : "-",
          j.radioModel.empty() ? "-" : j.radioModel,
          j.modelId.empty() ? "-" : j.modelId,
          j.result,
          j.backup.empty() ? "-" : j.backup,
          end.empty() ? "-" : end};
}

void PrintHistory(const std::vector<JournalJob>& jobs, const std::string& format, std::FILE* out,
                  bool benches) {
  if (format == "csv") {
    std::fputs(HistoryCsv(jobs).c_str(), out);
    return;
  }
  if (format == "json") {
    std::fputs("[\n", out);
    for (size_t i = 0; i < jobs.size(); ++i) {
      std::fprintf(out, "%s%s\n", JobJson(jobs[i]).c_str(), i + 1 < jobs.size() ? "," : "");
    }
    std::fputs("]\n", out);
    return;
  }
  // The table: the columns a technician looks for, as wide as their widest entry.
  std::vector<std::vector<std::string>> table = {HistoryTableColumns()};
  for (const JournalJob& j : jobs) {
    table.push_back(HistoryTableRow(j, benches));
  }
  std::vector<size_t> width(table.front().size(), 0);
  for (const auto& row : table) {
    for (size_t c = 0; c < row.size(); ++c) {
      width[c] = std::max(width[c], row[c].size());
    }
  }
  for (const auto& row : table) {
    std::string text;
    for (size_t c = 0; c < row.size(); ++c) {
      text += row[c];
      if (c + 1 < row.size()) {
        text += std::string(width[c] - row[c].size() + 2, ' ');
      }
    }
    std::fprintf(out, "%s\n", text.c_str());
  }
  if (jobs.empty()) {
    std::fprintf(out, "(no jobs)\n");
  }
}

}  // namespace fw
