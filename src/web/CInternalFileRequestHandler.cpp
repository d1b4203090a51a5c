#include "web/CInternalFileRequestHandler.h"

#include "os/CException.h"
#include "os/Paths.h"
#include "settings/CSettings.h"
#include "web/BuiltInPages.h"
#include "web/InternalRequest.h"

#include <utility>

CInternalFileRequestHandler::CInternalFileRequestHandler()
    : CInternalFileRequestHandler(paths::FilesDir()) {}

CInternalFileRequestHandler::CInternalFileRequestHandler(std::string directory)
    : m_directory(std::move(directory)) {}

void CInternalFileRequestHandler::HandleRequest(const CSettings& settings,
                                                InternalRequest& request) {
    CIString name;
    if (!request.GetParameter(CIString("name"), name))
        throw errors::FileNotFound();
    std::string type;
    CIString bytes = LoadFilesPage(m_directory, name.View(), type);
    if (type == "text/html") {
        CIString user;
        if (!request.GetParameter(CIString("UserID"), user))
            user = settings.UserName();
        // These pages ask for no password: they show the figures of the
        // connection's own group only, never those of a group named in the
        // link.
        CStatistic* statistic =
            EqualsNoCase(user.View(), settings.UserName()) ? settings.Statistic() : nullptr;
        ExpandPageTags(bytes, user.View(), 0, statistic);
    }
    request.BeginResponse(200, type);
    request.SendResponse(bytes.View());
}
