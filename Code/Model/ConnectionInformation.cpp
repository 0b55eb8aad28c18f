#include "Code/Model/ConnectionInformation.h"

#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"

#include <typeinfo>

namespace {

using ProcessInformation = ConnectionInformation::ProcessInformation;
using NetworkInformation = ConnectionInformation::NetworkInformation;
using RemoteEndpoint = NetworkInformation::RemoteEndpoint;

constexpr std::string_view noneText = "<none>";

std::string_view booleanText(bool value) {
    return value ? "true" : "false";
}

std::string_view withoutPrivatePrefix(std::string_view path) {
    constexpr std::string_view prefix = "/private";
    return path.starts_with(prefix) ? path.substr(prefix.size()) : path;
}

std::string withoutOneTrailingSlash(std::string path) {
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Whether `candidate` is the bundle whose main executable is `executablePath`: true unless a
// bundle exists there whose main executable is known and is some other file.
bool isBundleOfExecutable(const std::string& candidate, std::string_view executablePath) {
    if (!ZRFileManager::fileExistsAtPath(candidate)) {
        return true;
    }
    const auto bundle = ZRBundle::bundleWithPath(candidate);
    const auto mainExecutable = bundle ? bundle->executablePath() : std::nullopt;
    if (!mainExecutable) {
        return true;
    }
    return withoutPrivatePrefix(mainExecutable->string()) == withoutPrivatePrefix(executablePath);
}

std::string bundlePathFromWrapperSuffix(std::string_view path) {
    constexpr std::string_view extensionWrapper = ".appex/";
    constexpr std::string_view applicationWrapper = ".app/";
    std::size_t end = std::string_view::npos;
    if (const auto found = path.rfind(extensionWrapper); found != std::string_view::npos) {
        end = found + extensionWrapper.size() - 1;
    } else if (const auto application = path.rfind(applicationWrapper);
               application != std::string_view::npos) {
        end = application + applicationWrapper.size() - 1;
    }
    if (end == std::string_view::npos) {
        return std::string(path);
    }
    std::string candidate(path.substr(0, end));
    return isBundleOfExecutable(candidate, path) ? candidate : std::string(path);
}

} // namespace

std::string ProcessInformation::bundlePathForExecutablePath(std::string_view path) {
    constexpr std::string_view macOSFolder = "/Contents/MacOS/";
    constexpr std::string_view javaBeside = "/../Java/";
    constexpr std::string_view bundledJava = ".app/Contents/PlugIns/jre.bundle/Contents/Home/bin/java";
    constexpr std::size_t bundledJavaTail = bundledJava.size() - 4; // keeps the ".app"

    std::string result;
    if (const auto found = path.rfind(macOSFolder); found != std::string_view::npos) {
        const auto folderSlash = found + macOSFolder.size() - 1;
        std::string candidate(path.substr(0, found));
        if (path.rfind('/') == folderSlash) {
            result = isBundleOfExecutable(candidate, path) ? candidate : std::string(path);
        } else if (path.substr(folderSlash).starts_with(javaBeside)) {
            result = std::move(candidate);
        } else {
            result = std::string(path);
        }
    } else if (path.ends_with(bundledJava)) {
        result = std::string(path.substr(0, path.size() - bundledJavaTail));
    } else {
        result = bundlePathFromWrapperSuffix(path);
    }
    return withoutOneTrailingSlash(std::move(result));
}

ProcessInformation::ProcessInformation(std::string processPath)
    : ProcessInformation(std::move(processPath), std::nullopt, std::nullopt, std::nullopt, false) {}

ProcessInformation::ProcessInformation(std::string processPath, std::optional<std::string> processBundlePath,
                                       std::optional<std::string> bundleIdentifier,
                                       std::optional<std::string> viaProcessPath, bool isViaXPC,
                                       std::optional<std::string> processDisplayName,
                                       std::optional<std::string> viaProcessDisplayName)
    : _processPath(std::move(processPath))
    , _processBundlePath(std::move(processBundlePath))
    , _bundleIdentifier(std::move(bundleIdentifier))
    , _viaProcessPath(std::move(viaProcessPath))
    , _isViaXPC(isViaXPC && _viaProcessPath.has_value())
    , _viaProcessDisplayName(std::move(viaProcessDisplayName)) {
    if (!_processBundlePath) {
        auto bundlePath = bundlePathForExecutablePath(_processPath);
        // A path that only lost its trailing "/" ("/" itself becomes empty) names no bundle.
        if (!bundlePath.empty() && bundlePath != _processPath &&
            bundlePath != withoutOneTrailingSlash(_processPath)) {
            _processBundlePath = std::move(bundlePath);
        }
    }
    if (!_bundleIdentifier && _processBundlePath) {
        if (const auto bundle = ZRBundle::bundleWithPath(*_processBundlePath)) {
            _bundleIdentifier = bundle->bundleIdentifier();
        }
    }
    _processDisplayName =
        processDisplayName ? std::move(*processDisplayName) : ZRFileManager::displayNameAtPath(_processPath);
    if (!_viaProcessDisplayName && _viaProcessPath) {
        _viaProcessDisplayName = ZRFileManager::displayNameAtPath(*_viaProcessPath);
    }
}

std::string ProcessInformation::description() const {
    std::string text = "processPath: " + _processPath;
    text += ", bundleIdentifier: ";
    text += _bundleIdentifier ? std::string_view(*_bundleIdentifier) : noneText;
    text += ", viaProcessPath: ";
    text += _viaProcessPath ? std::string_view(*_viaProcessPath) : noneText;
    text += ", isViaXPC: ";
    text += booleanText(_isViaXPC);
    return text;
}

std::string RemoteEndpoint::description() const {
    switch (_kind) {
    case Kind::domain:
        return "domain " + _name;
    case Kind::host:
        return "host " + _name;
    case Kind::ipAddresses:
        return _addresses.displayString();
    case Kind::localNetwork:
        return "local network";
    case Kind::berkeleyPacketFilter:
        return "Berkeley Packet Filter";
    }
    return {};
}

NetworkInformation::NetworkInformation(bool isIncoming, std::vector<RemoteEndpoint> remoteEndpoints,
                                       std::optional<NetworkProtocol> networkProtocol, PortSet ports)
    : _isIncoming(isIncoming)
    , _remoteEndpoints(std::move(remoteEndpoints))
    , _networkProtocol(networkProtocol)
    , _ports(std::move(ports)) {}

std::string NetworkInformation::description() const {
    std::string text = "remoteEndpoints: [";
    for (std::size_t index = 0; index < _remoteEndpoints.size(); ++index) {
        if (index > 0) {
            text += ", ";
        }
        text += _remoteEndpoints[index].description();
    }
    text += "], ports: " + std::to_string(_ports.count()) + " indexes";
    text += ", protocol: ";
    text += _networkProtocol ? networkProtocolText(*_networkProtocol) : noneText;
    text += ", incoming: ";
    text += booleanText(_isIncoming);
    return text;
}

bool NetworkInformation::operator==(const NetworkInformation& other) const {
    return _isIncoming == other._isIncoming && _remoteEndpoints == other._remoteEndpoints &&
           _networkProtocol == other._networkProtocol && _ports == other._ports;
}

ConnectionInformation::ConnectionInformation(ProcessInformation processInformation,
                                             std::optional<NetworkInformation> networkInformation)
    : _processInformation(std::make_shared<const ProcessInformation>(std::move(processInformation))) {
    if (networkInformation) {
        _networkInformation = std::make_shared<const NetworkInformation>(std::move(*networkInformation));
    }
}

ConnectionInformation::~ConnectionInformation() = default;

const std::string& ConnectionInformation::processPath() const {
    return _processInformation->processPath();
}

const std::optional<std::string>& ConnectionInformation::viaProcessPath() const {
    return _processInformation->viaProcessPath();
}

std::string ConnectionInformation::description() const {
    std::string text = " processInformation: " + _processInformation->description();
    text += " networkInformation: ";
    text += _networkInformation ? _networkInformation->description() : std::string(noneText);
    return text;
}

bool ConnectionInformation::operator==(const ConnectionInformation& other) const {
    if (typeid(*this) != typeid(other) || !(*_processInformation == *other._processInformation)) {
        return false;
    }
    if (!_networkInformation || !other._networkInformation) {
        return !_networkInformation && !other._networkInformation;
    }
    return *_networkInformation == *other._networkInformation;
}
