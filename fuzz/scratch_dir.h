#pragma once

#include <string>
#include <string_view>

namespace etherm::fuzz {

// A folder of this process under the temporary folder, made on first use and removed when the
// process ends normally; the routines under test read and write real files there.
const std::string& ScratchDir();

// Puts `bytes` into the file `name` of the scratch folder, replacing it; returns its path.
std::string PutFile(const std::string& name, std::string_view bytes);

}  // namespace etherm::fuzz
