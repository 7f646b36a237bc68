# Sources of the platform client link, game-exit launch and install registration.
list(APPEND LAUNCHER_CORE_SOURCES GameLoader.cpp PlatformLink.cpp InstallRegistration.cpp)
list(APPEND LAUNCHER_WIN_SOURCES GameLoaderWin.cpp PlatformLinkWin.cpp InstallRegistrationWin.cpp)
list(APPEND LAUNCHER_HOST_SOURCES GameLoaderHost.cpp PlatformLinkHost.cpp InstallRegistrationHost.cpp)
