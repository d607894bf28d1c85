#pragma once
// The public addresses that the demonstration pages and redirects hand to the client. The server
// never contacts them; they are only text in pages and "Location" headers.
#include <string_view>

namespace qv::serverdemo {

// Where "/redirect/permanently" and "/redirect/temporarily" send the client (no path).
inline constexpr std::string_view redirectTargetSite = "http://www.swift.org";
// Where every path that no route matches is redirected.
inline constexpr std::string_view notFoundTargetPage = "https://www.swift.org/404";
// The picture of "/demo".
inline constexpr std::string_view pictureHost = "https://developer.apple.com";
inline constexpr std::string_view picturePath = "/swift/images/swift-hero_2x.png";
// The script library, stylesheet and stylesheet script of the sign-in page.
inline constexpr std::string_view contentDeliveryHost = "http://cdn.staticfile.org";
inline constexpr std::string_view scriptLibraryPath = "/jquery/2.1.4/jquery.min.js";
inline constexpr std::string_view stylesheetPath = "/twitter-bootstrap/3.3.0/css/bootstrap.min.css";
inline constexpr std::string_view stylesheetScriptPath = "/twitter-bootstrap/3.3.0/js/bootstrap.min.js";

}  // namespace qv::serverdemo
