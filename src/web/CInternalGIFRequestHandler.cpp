#include "web/CInternalGIFRequestHandler.h"

#include "os/CBuffer.h"
#include "os/CException.h"
#include "settings/CSettings.h"
#include "web/InternalRequest.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// GIF89a, 1x1, a black-and-white colour table, a graphic control extension
// that makes colour 1 transparent, and one image block.
constexpr unsigned char kTransparentGif[42] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x01, 0x00, 0x2C,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x01, 0x4C, 0x00, 0x3B,
};

} // namespace

std::string_view CInternalGIFRequestHandler::TransparentImage() {
    return {reinterpret_cast<const char*>(kTransparentGif), sizeof kTransparentGif};
}

CInternalGIFRequestHandler::CInternalGIFRequestHandler(std::string_view image)
    : m_userImage(false), m_image(image), m_loaded(true) {}

CInternalGIFRequestHandler::CInternalGIFRequestHandler() : m_userImage(true) {}

void CInternalGIFRequestHandler::HandleRequest(const CSettings& settings,
                                               InternalRequest& request) {
    // Copied out first: the lock is not held while a slow browser is sent to.
    const std::string image = CopyImage(settings);
    request.BeginResponse(200, "image/gif");
    request.SendResponse(image);
}

bool CInternalGIFRequestHandler::GetImageData(const CSettings& settings, CBuffer& out) {
    const std::string image = CopyImage(settings);
    out.Append(image);
    return true;
}

std::string CInternalGIFRequestHandler::CopyImage(const CSettings& settings) {
    StCritical lock(m_lock);
    if (m_userImage)
        LoadUserImage(settings);
    return m_image;
}

void CInternalGIFRequestHandler::LoadUserImage(const CSettings& settings) {
    const CIString& path = settings.GetString(CSettings::kOptionsUserImagePath);
    if (path.empty())
        throw errors::FileNotFound();
    // File names differ by case on this system: only the very same text
    // names the file already held.
    if (m_loaded && path.View() == m_imagePath.View())
        return;
    // Only a plain file will do: a directory opens but reads as nothing.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path.Str(), error))
        throw errors::FileNotFound();
    std::ifstream in(path.Str(), std::ios::binary);
    if (!in)
        throw errors::FileNotFound();
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw errors::FileNotFound();
    m_image = std::move(bytes);
    m_imagePath = path;
    m_loaded = true;
}
