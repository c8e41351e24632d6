#include "platform/chromium/PageReports.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "embedded/page-api.h"

namespace tavrelle::chromium {
namespace {

// The script's "Report" table, member name to code, as the embedded source spells it.
std::map<std::string, char> ScriptReportTable() {
  const std::string script(kEmbedded_page_api);
  std::smatch table;
  if (!std::regex_search(script, table, std::regex(R"(const Report = freeze\(\{([^}]*)\}\))"))) {
    return {};
  }
  std::map<std::string, char> codes;
  const std::string body = table[1];
  const std::regex member(R"((\w+): '(.)')");
  for (std::sregex_iterator it(body.begin(), body.end(), member), end; it != end; ++it) {
    codes[(*it)[1]] = (*it)[2].str()[0];
  }
  return codes;
}

TEST(PageReportsTest, HostAndPageScriptUseTheSameTableAndOnlyIt) {
  std::map<std::string, char> host;
  for (const PageReportCode& entry : kPageReportCodes) {
    EXPECT_TRUE(host.emplace(std::string(entry.name), entry.code).second) << entry.name;
    EXPECT_EQ(PageReportOf(entry.code), entry.kind) << entry.name;  // codes are unique
  }
  EXPECT_EQ(ScriptReportTable(), host);
  EXPECT_EQ(PageReportOf('z'), std::nullopt);
  // No report bypasses the table with a literal code.
  EXPECT_FALSE(std::regex_search(std::string(kEmbedded_page_api), std::regex(R"(report\('\w)")));
}

}  // namespace
}  // namespace tavrelle::chromium
