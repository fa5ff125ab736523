#include "setup/new_version.h"

#include "net/http_client.h"
#include "product/product.h"
#include "support/file_utils.h"
#include "support/text_fields.h"
#include "support/versions.h"
#include "xml/xml_scanner.h"

namespace setup {

std::optional<ProductRelease> FindRelease(const std::string& list, const std::string& productCode) {
  const std::string element = support::XMLGetElement(list, productCode, true, false);
  if (element.empty()) return std::nullopt;
  const std::string tag = element.substr(0, support::XMLTagEnd(element, 0) + 1);
  return ProductRelease{support::TrimBlanks(support::XMLGetElement(list, productCode, false, true)),
                        support::XMLTagAttribute(tag, "url"),
                        support::XMLTagAttribute(tag, "date")};
}

bool IsDownloadAddress(const std::string& url) {
  const std::string lower = support::LowerCase(url);
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return false;
  for (unsigned char c : url)
    if (c <= ' ' || c == 0x7F || c == '"' || c == '\'' || c == '`') return false;
  return true;
}

std::optional<ProductRelease> NewerRelease(const std::string& address,
                                           platform::SocketCancel* cancel) {
  std::string fileName;
  support::HttpGet(address.empty() ? kDefaultProductsAddress : address, false, "", fileName, "", "",
                   kNewVersionDeadlineMs, cancel);
  if (fileName.empty()) return std::nullopt;
  const std::string list = support::LoadFileToString(fileName, true);
  auto release = FindRelease(list, kProductCode);
  if (!release || release->Version.empty() ||
      support::VersionAtLeast(kProductVersion, release->Version) ||
      !IsDownloadAddress(release->Url))
    return std::nullopt;
  return release;
}

}  // namespace setup
