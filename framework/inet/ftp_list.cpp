#include "framework/inet/ftp_list.h"

#include <cctype>
#include <vector>

namespace brim::detail {
namespace {
// The fields of line split at blanks; rest[i] is where field i starts, so a
// name with blanks in it is the line from its first field to the end.
void Split(const std::string& line, std::vector<std::string>& fields, std::vector<std::size_t>& starts) {
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        fields.push_back(line.substr(start, i - start));
        starts.push_back(start);
    }
}

bool ParseSize(const std::string& text, std::uint64_t& size) {
    if (text.empty() || text.size() > 19) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    size = value;
    return true;
}

bool IsUnixMode(const std::string& field) {
    static const std::string kinds = "-dlbcps";
    return field.size() >= 10 && kinds.find(field[0]) != std::string::npos;
}
}  // namespace

bool ParseFtpListLine(const std::string& line, FtpListEntry& entry) {
    std::vector<std::string> f;
    std::vector<std::size_t> at;
    Split(line, f, at);
    if (f.size() >= 9 && IsUnixMode(f[0])) {
        // mode links owner group size month day time-or-year name...
        if (!ParseSize(f[4], entry.size)) return false;
        entry.directory = f[0][0] == 'd';
        entry.name = line.substr(at[8]);
        if (f[0][0] == 'l') {
            const std::size_t arrow = entry.name.find(" -> ");
            if (arrow != std::string::npos) entry.name.resize(arrow);
        }
        return !entry.name.empty();
    }
    if (f.size() >= 4 && f[0].size() >= 8 && std::isdigit(static_cast<unsigned char>(f[0][0])) &&
        f[0][2] == '-') {
        // date time (<DIR> | size) name...
        entry.directory = f[2] == "<DIR>";
        entry.size = 0;
        if (!entry.directory && !ParseSize(f[2], entry.size)) return false;
        entry.name = line.substr(at[3]);
        return true;
    }
    return false;
}

}  // namespace brim::detail
