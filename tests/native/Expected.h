// The texts the user must see, written out here independently of the code under test.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FakesCore.h"

namespace expected {

inline const std::string kAuthFailed = "Remote Authentication Failed!";
inline const std::string kEnumerationFailed = "Enumeration Services Failed!";
inline const std::string kManagerFailed = "Failed to Open SC Manager!";
inline const std::string kServiceFailed = "Failed to Open Service Handle!";
inline const std::string kConfirmStop = "Do you really want to stop the service?";

constexpr unsigned kPlainOk = 0;
constexpr unsigned kStopIcon = 16;
constexpr unsigned kYesNoQuestion = 0x24;

inline const std::string kNotKnown =
    "Error while controlling the service.\rError type:\r\tNot known.";

inline const std::map<std::uint32_t, std::string> kStartTexts = {
    {3, "Error while controlling the service.\rError type:\r\tThe service binary file could not be found."},
    {5, "Error while controlling the service.\rError type:\r\tAccess is denied."},
    {1053, "Error while controlling the service.\rError type:\r\tThe service did not respond to the start request in a timely fashion."},
    {1055, "Error while controlling the service.\rError type:\r\tThe database is locked."},
    {1058, "Error while controlling the service.\rError type:\r\tThe service has been disabled."},
    {1068, "Error while controlling the service.\rError type:\r\tThe service depends on another service that\r\thas failed to start."},
    {1069, "Error while controlling the service.\rError type:\r\tThe service could not be logged on."},
    {1072, "Error while controlling the service.\rError type:\r\tThe service has been marked for deletion."},
    {1075, "Error while controlling the service.\rError type:\r\tThe service depends on a service that does\r\tnot exist or has been marked for deletion."},
};

inline const std::map<std::uint32_t, std::string> kStopTexts = {
    {5, "Error while controlling the service.\rError type:\r\tAccess is denied."},
    {1051, "Error while controlling the service.\rError type:\r\tThe service cannot be stopped because other running services are dependent on it."},
    {1052, "Error while controlling the service.\rError type:\r\tSpecified action is not availaible for this service."},
    {1053, "Error while controlling the service.\rError type:\r\tThe service did not respond to the start request in a timely fashion."},
};

inline std::string StartText(std::uint32_t code)
{
    auto it = kStartTexts.find(code);
    return it == kStartTexts.end() ? kNotKnown : it->second;
}

inline std::string StopText(std::uint32_t code)
{
    auto it = kStopTexts.find(code);
    return it == kStopTexts.end() ? kNotKnown : it->second;
}

inline std::string StateText(std::uint32_t state)
{
    static const std::map<std::uint32_t, std::string> texts = {
        {1, "Stopped"},          {2, "Start Pending"}, {3, "Stop Pending"}, {4, "Service Running"},
        {5, "Continue Pending"}, {6, "Pause Pending"}, {7, "Paused"},
    };
    auto it = texts.find(state);
    return it == texts.end() ? "" : it->second;
}

using Boxes = std::vector<fakes::MessageBox>;
inline Boxes OneBox(const std::string& text, unsigned style) { return {{text, style}}; }
inline const Boxes kNoBox{};

// The list a complete pass over these services leaves: one row per service, in order.
inline std::map<int, fakes::Row> Rows(const std::vector<fakes::FakeService>& services)
{
    std::map<int, fakes::Row> rows;
    for (std::size_t i = 0; i < services.size(); ++i)
        rows[static_cast<int>(i)] = {std::to_string(i), services[i].strName,
                                     services[i].strDisplayName, StateText(services[i].dwState)};
    return rows;
}

}  // namespace expected
