// The product's identity: the names that make up its data directory, and its version.
#pragma once

constexpr const char* companyName = "Quarlen Zuzidivoravev Vivurezuv";
constexpr const char* appName = "Quarlen Vistal";
constexpr const char* appVersion = "2.0.2";
