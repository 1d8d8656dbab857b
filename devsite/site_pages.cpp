#include "devsite/site_pages.h"

namespace qarv {
namespace {

std::string Page(std::string_view title, std::string_view body) {
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    page += HtmlEscape(title);
    page += "</title></head>\n<body>\n";
    page += body;
    page += "</body></html>\n";
    return page;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string UserVideoPage(const std::string& account, const std::vector<UploadRecord>& uploads) {
    std::string body =
        "<h1>" + HtmlEscape(account) + " \xe7\x9a\x84\xe8\xa7\x86\xe9\xa2\x91</h1>\n";  // 的视频
    if (uploads.empty()) {
        body +=
            "<p class=\"empty\">\xe8\xbf\x98\xe6\xb2\xa1\xe6\x9c\x89\xe5\x88\x86\xe4\xba\xab\xe7\x9a\x84"
            "\xe8\xa7\x86\xe9\xa2\x91</p>\n";  // 还没有分享的视频
        return Page(account, body);
    }
    body +=
        "<table>\n<tr><th>No.</th><th>Title</th><th>Category</th><th>Description</th><th>File</th>"
        "<th>Bytes</th></tr>\n";
    for (const UploadRecord& upload : uploads) {
        body += "<tr class=\"video\"><td>" + std::to_string(upload.number) + "</td><td class=\"title\">" +
                HtmlEscape(upload.title) + "</td><td>" + HtmlEscape(upload.tags) + "</td><td>" +
                HtmlEscape(upload.desc) + "</td><td>" + HtmlEscape(upload.fileName) + "</td><td>" +
                std::to_string(upload.size) + "</td></tr>\n";
    }
    body += "</table>\n";
    return Page(account, body);
}

std::string SessionUnknownPage() {
    return Page("Vanlo", "<p>\xe8\xaf\xb7\xe5\x85\x88\xe7\x99\xbb\xe5\xbd\x95</p>\n");  // 请先登录
}

std::string StatisticsPage(std::uint64_t visits) {
    return Page("statistic", "<p id=\"visits\">" + std::to_string(visits) + "</p>\n");
}

std::string RegisterPage(std::string_view message) {
    std::string body = "<h1>\xe6\xb3\xa8\xe5\x86\x8c\xe8\xb4\xa6\xe5\x8f\xb7</h1>\n";  // 注册账号
    if (!message.empty())
        body += "<p class=\"message\">" + HtmlEscape(message) + "</p>\n";
    body +=
        "<form method=\"post\" action=\"/Account/Register\">\n"
        "<label>\xe8\xb4\xa6\xe5\x8f\xb7 <input name=\"account\" maxlength=\"64\"></label>\n"  // 账号
        "<label>\xe5\xaf\x86\xe7\xa0\x81 <input name=\"password\" type=\"password\" "
        "maxlength=\"30\"></label>\n"
        "<button type=\"submit\">\xe6\xb3\xa8\xe5\x86\x8c</button>\n"  // 注册
        "</form>\n";
    return Page("Register", body);
}

std::string RetrievePasswordPage() {
    return Page("RetrievePassword",
                "<h1>\xe5\xbf\x98\xe8\xae\xb0\xe5\xaf\x86\xe7\xa0\x81</h1>\n"  // 忘记密码
                "<p>This local site keeps no e-mail addresses and cannot reset passwords. Register a new "
                "account instead: <a href=\"/Account/Register\">/Account/Register</a></p>\n");
}

std::string OutsideUploadPage() {
    return Page("OutsideUpload",
                "<h1>\xe4\xb8\x8a\xe4\xbc\xa0\xe8\xa7\x86\xe9\xa2\x91</h1>\n"  // 上传视频
                "<p>The outside video site's upload page, stood in for by this local site.</p>\n");
}

}  // namespace qarv
