#include "tools/publish/nginx_config.h"

namespace publish {

std::string CheckNginxValue(const std::string& value) {
  if (value.empty()) return "is empty";
  for (char c : value) {
    if (static_cast<unsigned char>(c) < 0x20 || c == ';' || c == '{' || c == '}' || c == '"' ||
        c == '\'' || c == ' ' || c == '$' || c == '#' || c == '\\') {
      return "holds a blank, quote, \";\", \"{\", \"}\", \"$\", \"#\" or backslash";
    }
  }
  return "";
}

std::string NginxServerBlock(const NginxOptions& options) {
  std::string text;
  text += "# Update site of the Vossarium updater, written by vossarium-publish.\n";
  text += "# Include this file inside the http { } block of nginx.conf:\n";
  text += "#     include " + options.root + "/nginx-server.conf;\n";
  text += "# \"root\" must be the folder this file lies in once the site is deployed\n";
  text += "# (vossarium-publish build --nginx-root), \"listen\" the address and port\n";
  text += "# that the updater's built-in base address names (--nginx-listen).\n";
  text += "server {\n";
  text += "    listen " + options.listen + ";\n";
  text += "    server_name _;\n";
  text += "    root " + options.root + ";\n";
  text += "\n";
  text += "    # The updater sends no Accept-Encoding and follows only 301 answers by\n";
  text += "    # itself; nothing here answers with anything but the file or 404.\n";
  text += "    gzip off;\n";
  text += "    autoindex off;\n";
  text += "    charset off;\n";
  text += "    server_tokens off;\n";
  text += "    etag off;\n";
  text += "\n";
  text += "    # The list of the player's language; a language without a list of its\n";
  text += "    # own, a missing value or one that is not a plain number gets the list\n";
  text += "    # of language 0.\n";
  text += "    set $vossarium_language 0;\n";
  text += "    if ($arg_language ~ \"^[1-9][0-9]{0,9}$\") {\n";
  text += "        set $vossarium_language $arg_language;\n";
  text += "    }\n";
  text += "    location = /resource.002.php {\n";
  text += "        types { }\n";
  text += "        default_type \"text/plain; charset=utf-8\";\n";
  text += "        add_header Cache-Control \"no-store\" always;\n";
  text += "        try_files /lists/${vossarium_language}.txt /lists/0.txt =404;\n";
  text += "    }\n";
  text += "\n";
  text += "    # Resource files are named by their content and never change once\n";
  text += "    # published, so every cache may keep them for good.\n";
  text += "    location /r/ {\n";
  text += "        types { }\n";
  text += "        default_type application/octet-stream;\n";
  text += "        add_header Cache-Control \"public, max-age=31536000, immutable\" always;\n";
  text += "        try_files $uri =404;\n";
  text += "    }\n";
  text += "\n";
  text += "    # The lists are reached only through resource.002.php; nothing else is\n";
  text += "    # served.\n";
  text += "    location / {\n";
  text += "        return 404;\n";
  text += "    }\n";
  text += "}\n";
  return text;
}

}  // namespace publish
