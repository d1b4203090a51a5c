#pragma once

#include "os/CCriticalSection.h"
#include "web/CInternalRequestHandler.h"

#include <string>
#include <string_view>

class CBuffer;

// Serves a GIF image: either fixed bytes given at construction (the
// transparent pixel), or the user's own image, read from the file that the
// group's Options.UserImagePath names and read again when that setting
// names another file. The washers also take the bytes to put into pages.
class CInternalGIFRequestHandler : public CInternalRequestHandler {
public:
    // The 1x1 transparent GIF89a image.
    static std::string_view TransparentImage();

    // Fixed bytes: never loads anything.
    explicit CInternalGIFRequestHandler(std::string_view image);
    // The user's image, read on first use.
    CInternalGIFRequestHandler();

    void HandleRequest(const CSettings& settings, InternalRequest& request) override;
    // Appends the image's bytes to out, loading the user's image first when
    // needed (a missing one throws filenotfound.html). Returns true.
    bool GetImageData(const CSettings& settings, CBuffer& out);

private:
    // A copy of the current bytes, loaded first when needed.
    std::string CopyImage(const CSettings& settings);
    // Reads the file the settings name unless it is the one held; with m_lock held.
    void LoadUserImage(const CSettings& settings);

    const bool m_userImage;
    // Guards the two fields below: a reload replaces both at once, and the
    // bytes are only ever copied out under it.
    CCriticalSection m_lock;
    std::string m_image;
    CIString m_imagePath;
    bool m_loaded = false;
};
