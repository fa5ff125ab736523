// The check for a newer release on the Internet: the products list names each
// product by its code, as an element whose text is the version, with the
// download address in "url" and the release date in "date".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {
class SocketCancel;
}

namespace setup {

constexpr char kDefaultProductsAddress[] =
    "https://www.kestrun.example/products/kestrunproducts.xml";
constexpr char kProductCode[] = "orvikmailserver";
// The whole check, redirects included, ends by then (the resolving of a host name aside):
// the user waits for it on the licence page. It runs on a worker thread beside the window,
// which keeps answering meanwhile.
constexpr uint32_t kNewVersionDeadlineMs = 10000;

struct ProductRelease {
  std::string Version, Url, Date;
};

// The release the list names for the product; nothing when it names none.
std::optional<ProductRelease> FindRelease(const std::string& list, const std::string& productCode);

// Whether an address from the list may be handed to the shell: only an http://
// or https:// address without control characters, blanks or quotes (a list
// that came over the network must not make setup run a program).
bool IsDownloadAddress(const std::string& url);

// Fetches the list at address ("" for the built-in one) and returns the
// product's release when it is newer than this version and its address may be
// opened; nothing on any failure, or once cancel (when given) is cancelled.
std::optional<ProductRelease> NewerRelease(const std::string& address,
                                           platform::SocketCancel* cancel = nullptr);

}  // namespace setup
