// The nginx server block that serves a published site: the list of the
// player's language for "resource.002.php", resource files cached for good.
#pragma once

#include <string>

namespace publish {

struct NginxOptions {
  std::string listen = "80";            // the value of "listen"
  std::string root = "/srv/vossarium";  // where the site lies on the server
};

// The text of the server block; the same options always give the same bytes.
std::string NginxServerBlock(const NginxOptions& options);

// Empty when the option values can go into the block as they are; otherwise
// why not (nginx would read a ";", "{", quote or line break as syntax).
std::string CheckNginxValue(const std::string& value);

}  // namespace publish
