#pragma once

// The build's branding record: the texts that name the product. Every layer
// (link, engine, front ends) takes them from here, so a rebranded build
// changes this one file.
namespace Branding
{

// Short brand: window titles, the brand menu, dialog captions and messages,
// and the USB bridge description tried first.
inline constexpr const char *BrandName = "Zelvo";
inline constexpr const char *ProductName = "Marlune";
inline constexpr const char *NoticeLine = "Commissioning software for Zelvo telemetry units";
inline constexpr const char *WebURL = "https://www.zelvo.example/support";
inline constexpr const char *WebHost = "https://www.zelvo.example";
// Ends the messages that send the user to support.
inline constexpr const char *SupportSuffix = "\nPlease contact support.";
// The progress animation, relative to the working directory.
inline constexpr const char *AnimationPath = "Images/working_generic.avi";

} // namespace Branding
