#pragma once

#include <string>
#include <string_view>

// A file's type: the text after its name's last dot, lower-cased (ASCII
// letters only, the rest of the bytes as they are); empty for "no type":
// a name without a dot, one whose only dot is its first byte (".bashrc"),
// or one that ends with its dot.
std::string FileTypeOf(std::string_view name);
