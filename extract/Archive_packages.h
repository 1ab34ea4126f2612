#pragma once
// Unpackers of the packages that need the external archiver: .rar, .7z_reg, and the
// compressed real-time packages .compr_rt (form version 0) and .compr2_rt (form version 2).
// Each unpacks into `folder` (ending with '/') and throws on failure.

#include <string>

void extract_rar_package(const std::string& package, const std::string& folder);
void extract_7z_package(const std::string& package, const std::string& folder);
void extract_compressed_rt(const std::string& package, const std::string& folder, int form_version);
