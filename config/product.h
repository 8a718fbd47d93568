// The product's identity: the names that make up its data directory, and its version. They are
// the vendor's deployment values (VISTAL_COMPANY, VISTAL_PRODUCT, VISTAL_PRODUCT_VERSION).
#pragma once

#include "config/identity.h"

namespace config {

constexpr const char* companyName = VISTAL_ID_COMPANY;
constexpr const char* appName = VISTAL_ID_PRODUCT;
constexpr const char* appVersion = VISTAL_ID_PRODUCT_VERSION;

// The named mutex that exists while a launcher of the product runs.
constexpr const char* mutex_name = VISTAL_ID_MUTEX;
// What the update client calls itself to the update servers.
constexpr const wchar_t* user_agent = L"" VISTAL_ID_PRODUCT "/1.0";

} // namespace config
