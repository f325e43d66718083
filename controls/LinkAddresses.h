// The web addresses the promotion panel and the About box open.
#pragma once

// The companion product's download page: the text links and the Download Here button.
inline constexpr char kDownloadPageUrl[] = "http://www.quillmark.example/downloads/index.html";
// The web site's home page: the banner picture.
inline constexpr char kHomePageUrl[] = "http://www.tarnwick.example";
