#include "hosts/wx/WxFonts.h"

#include <cstring>
#include <map>
#include <tuple>

#include <wx/fontenum.h>
#include <wx/settings.h>

#include "hosts/wx/LogTextDecoder.h"
#include "platform/codepage/TextConversion.h"

namespace {

using FontKey = std::tuple<std::string, LONG, LONG, bool>;

bool KnownFace(const std::string& face) {
    return !face.empty() && face != "System" && face != "MS Sans Serif" &&
           wxFontEnumerator::IsValidFacename(wxString::FromUTF8(face));
}

wxFont MakeFont(const LOGFONT& logFont) {
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    const std::string face(logFont.lfFaceName,
                           strnlen(logFont.lfFaceName, sizeof logFont.lfFaceName));
    if (KnownFace(face)) {
        font.SetFaceName(wxString::FromUTF8(face));
    }
    // A negative height is the characters' own height, a positive one the cell's; both are near
    // enough to the pixel size the toolkit takes.
    const LONG height = logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
    if (height > 0) {
        font.SetPixelSize(wxSize(0, static_cast<int>(height)));
    }
    font.SetWeight(logFont.lfWeight >= 600 ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
    font.SetStyle(logFont.lfItalic != 0 ? wxFONTSTYLE_ITALIC : wxFONTSTYLE_NORMAL);
    return font;
}

}  // namespace

wxFont FontFromLogFont(const LOGFONT& logFont) {
    // Painting asks for the same few fonts over and over; making one costs a font lookup.
    static std::map<FontKey, wxFont> cache;
    const FontKey key{
        std::string(logFont.lfFaceName, strnlen(logFont.lfFaceName, sizeof logFont.lfFaceName)),
        logFont.lfHeight, logFont.lfWeight, logFont.lfItalic != 0};
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache.emplace(key, MakeFont(logFont)).first;
    }
    return it->second;
}

LOGFONT LogFontFromFont(const wxFont& font) {
    LOGFONT lf{};
    lf.lfHeight = -font.GetPixelSize().GetHeight();
    lf.lfWeight = font.GetWeight() == wxFONTWEIGHT_BOLD ? 700 : 400;
    const std::string face = font.GetFaceName().ToStdString(wxConvUTF8);
    std::strncpy(lf.lfFaceName, face.c_str(), sizeof lf.lfFaceName - 1);
    return lf;
}

wxString ToWx(const std::string& bytes) {
    LogTextDecoder decoder;
    std::string text = decoder.Feed(bytes);
    text += decoder.Flush();
    return wxString::FromUTF8(text.data(), text.size());
}

std::string FromWx(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    const std::string bytes(utf8.data(), utf8.length());
    // The system's texts (paths, the settings) are in the locale's code set.
    return ActiveCodeSet() == CodeSet::Cp949 ? FromUtf8(bytes, CodeSet::Cp949) : bytes;
}

wxColour ToWxColour(COLORREF colour) {
    return wxColour(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

COLORREF FromWxColour(const wxColour& colour) {
    return RGB(colour.Red(), colour.Green(), colour.Blue());
}
