// The folder's listing (PROPFIND, Depth: 1) against the redirector's two
// size limits, and the online part's order.
#include <string_view>

#include "base/utf.h"
#include "tools/qlxctl/doctor_online.h"

namespace qlx::qlxctl::doctor {

namespace {

// The next element with this local name, whatever its namespace prefix:
// its content, and where the search goes on. Enough for a multistatus; not
// a general XML reader.
bool NextElement(std::string_view xml, std::string_view local, std::size_t& from, std::string_view& content) {
  for (std::size_t open = xml.find('<', from); open != std::string_view::npos; open = xml.find('<', open + 1)) {
    std::size_t name = open + 1;
    const std::size_t end = xml.find_first_of(" \t\r\n/>", name);
    if (end == std::string_view::npos) return false;
    const std::size_t colon = xml.find(':', name);
    if (colon != std::string_view::npos && colon < end) name = colon + 1;
    if (xml.substr(name, end - name) != local || xml[open + 1] == '/') continue;
    const std::size_t start = xml.find('>', end);
    if (start == std::string_view::npos) return false;
    if (xml[start - 1] == '/') {  // <x:name/>
      content = {};
      from = start + 1;
      return true;
    }
    std::size_t close = start;
    for (;;) {
      close = xml.find("</", close);
      if (close == std::string_view::npos) return false;
      const std::size_t close_end = xml.find('>', close);
      std::string_view closing = xml.substr(close + 2, close_end - close - 2);
      if (const auto c = closing.find(':'); c != std::string_view::npos) closing.remove_prefix(c + 1);
      if (closing == local) break;
      close += 2;
    }
    content = xml.substr(start + 1, close - start - 1);
    from = close + 2;
    return true;
  }
  return false;
}

std::string_view Element(std::string_view xml, std::string_view local) {
  std::size_t from = 0;
  std::string_view content;
  return NextElement(xml, local, from, content) ? content : std::string_view();
}

// The last segment of an href, percent-decoded, for the file's name.
std::string FileName(std::string_view href) {
  while (!href.empty() && href.back() == '/') href.remove_suffix(1);
  href.remove_prefix(href.rfind('/') == std::string_view::npos ? 0 : href.rfind('/') + 1);
  std::string name;
  for (std::size_t i = 0; i < href.size(); ++i) {
    if (href[i] == '%' && i + 2 < href.size() + 0 && std::isxdigit(static_cast<unsigned char>(href[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(href[i + 2]))) {
      name.push_back(static_cast<char>(std::stoi(std::string(href.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      name.push_back(href[i]);
    }
  }
  return name;
}

std::uint64_t Digits(std::string_view text) {
  std::uint64_t n = 0;
  for (char c : text)
    if (c >= '0' && c <= '9') n = n * 10 + static_cast<std::uint64_t>(c - '0');
  return n;
}

}  // namespace

Check FolderCheck(Probe& probe, const Answer& depth0) {
  const std::string id = "online.folder";
  if (depth0.kind != Answer::Kind::Answered)
    return Make(id, State::Skipped, probe.Failure() ? *probe.Failure() : "not tried: the time limit of the online "
                                                                         "checks was reached");
  if (!depth0.Status(207)) return Make(id, State::Skipped, "the folder must answer PROPFIND first");
  const std::uint32_t size_limit = EffectiveParameter(probe.in.machine, u"FileSizeLimitInBytes", kDefaultFileSizeLimit);
  const std::uint32_t listing_limit =
      EffectiveParameter(probe.in.machine, u"FileAttributesLimitInBytes", kDefaultAttributesLimit);
  const std::u16string url = depth0.url;
  const std::string where = probe.Where("PROPFIND", url) + " (Depth: 1)";
  // A listing beyond the limit is the verdict already: read no further.
  const Answer a = probe.Send(u"PROPFIND", url, u"1", std::size_t{listing_limit} + 1);
  if (auto c = Unanswered(id, a, where)) return *c;
  if (!a.Status(207)) return Make(id, State::Skipped, where + ": " + Number(a.outcome.status) + ", no listing");
  const std::string limit_words = "FileAttributesLimitInBytes " + Grouped(listing_limit) + " bytes";
  if (a.outcome.body_cut || a.outcome.body.size() > listing_limit)
    return Problem(id, where + ": the listing is larger than " + limit_words + ": the folder does not open",
                   "As administrator, raise FileAttributesLimitInBytes (up to 4294967295) under HKLM\\" +
                       U8(kParameters) + " and restart the WebClient service, or keep fewer entries in the folder.",
                   "the folder's listing is larger than FileAttributesLimitInBytes");
  std::size_t from = 0, entries = 0;
  std::string_view response;
  std::string big;
  while (NextElement(a.outcome.body, "response", from, response)) {
    if (entries++ == 0) continue;  // the folder itself
    const std::uint64_t length = Digits(Element(response, "getcontentlength"));
    if (length > size_limit)
      big += (big.empty() ? "" : ", ") + FileName(Element(response, "href")) + " (" + Grouped(length) + " bytes)";
  }
  const std::string found = where + ": 207, " + Number(entries ? entries - 1 : 0) + " entries, listing " +
                            Grouped(a.outcome.body.size()) + " bytes of " + limit_words;
  if (!big.empty())
    return Make(id, State::Warning,
                found + "; larger than FileSizeLimitInBytes " + Grouped(size_limit) + " bytes, so they cannot be "
                "copied: " + big,
                "As administrator, raise FileSizeLimitInBytes (up to 4294967295) under HKLM\\" + U8(kParameters) +
                    " and restart the WebClient service.");
  return Make(id, State::Ok, found);
}

Checks CheckOnline(const Inputs& in) {
  const StoredSettings& s = in.stored;
  if (s.user.status != StoredValue::Status::Read || s.password.status != StoredValue::Status::Read ||
      !NonBlank(s.user.text) || !NonBlank(s.password.text)) {
    Checks out;
    for (const char* id : {"online.root", "online.options", "online.path", "online.auth", "online.propfind",
                           "online.folder"})
      out.push_back(Make(id, State::Skipped, "the stored user and password are needed"));
    return out;
  }
  Probe probe(in);
  int refused = 0;
  Checks out{RootCheck(probe), OptionsCheck(probe), PathCheck(probe, refused)};
  const Answer folder = probe.Send(u"PROPFIND", probe.folder, u"0");
  out.push_back(AuthCheck(probe, folder));
  out.push_back(PropfindCheck(probe, folder, out.back()));
  // A parent that refuses the account as the folder does is the password,
  // which online.propfind names: not a second cause to chase.
  if (refused == 401 && folder.outcome.status == 401)
    out[2] = Make("online.path", State::Skipped, out[2].value + ", as the folder itself: judged by online.propfind");
  out.push_back(FolderCheck(probe, folder));
  return out;
}

}  // namespace qlx::qlxctl::doctor
