#pragma once

// The brand texts the dialogs show, in one place.
namespace dialogbrand
{
inline constexpr const char *BrandName = "Zelvo";
inline constexpr const char *ProductName = "Marlune";
inline constexpr const char *NoticeLine = "Commissioning software for Zelvo telemetry units";
inline constexpr const char *WebUrl = "https://www.zelvo.example/support";
inline constexpr const char *WebHost = "https://www.zelvo.example";
// Relative to the working directory.
inline constexpr const char *AnimationFile = "Images/working_generic.avi";
} // namespace dialogbrand
