#pragma once
// The made-up content of the device-series, media-setting and passmask files the installer
// carries for the Pelagon KD series. Every builder gives the same records on every call, on
// every machine: nothing depends on time, locale or the environment.

#include <string_view>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/payload/payload_catalogue.h>

namespace pelagon::payload {

// The "strVersion" of every carried device-series file.
inline constexpr std::string_view kDeviceSeriesFileVersion = "7.0.1.0";

// The series as a load gives it back: the reader's normalisations (input channels, screen
// angles) have nothing left to change.
DeviceSeries MakeDeviceSeries(Series series);

// The medium presets of the series' media-setting file, named "... Template", in the
// carried older layout: no half-cut force (0), no screen settings, "recommended" equal to
// "visible", as a reader of that layout fills them in. Its version is the file's.
MediaFile MakeMediaFile(Series series);

// The series' passmasks, numbers ascending; its version is the file's.
PassmaskList MakePassmaskList(Series series);

}  // namespace pelagon::payload
