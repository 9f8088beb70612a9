#include "rip/read_disc_layout.h"

#include "disc/parse_full_toc.h"

namespace noru::rip {

std::optional<disc::FullTOCLayout> readDiscLayout(
    const std::shared_ptr<platform::linux_cd::FullTocSource>& source, const std::string& bsdName) {
  const auto reply = source ? source->readFullToc(bsdName) : platform::linux_cd::FullTocReply{};
  return reply.outcome == platform::linux_cd::FullTocReply::Outcome::ok
             ? disc::parseFullTOCLayout(reply.bytes)
             : std::nullopt;
}

}  // namespace noru::rip
