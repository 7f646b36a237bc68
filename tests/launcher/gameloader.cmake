# Platform client link, game-exit launch, game-process clean-up and install
# registration: host tests, fuzz targets and the Windows checks under Wine.
vekt_host_test(launcher_gameloader_test
  SOURCES PlatformLinkTest.cpp GameExitTest.cpp GameLoaderWndCoreTest.cpp GameLoaderTestSupport.cpp
  LIBS launcher_lib vekt_test_support)
vekt_fuzz_target(setting_xml_fuzz SOURCES SettingXmlFuzz.cpp LIBS launcher_lib)
vekt_fuzz_target(game_exit_text_fuzz SOURCES GameExitTextFuzz.cpp LIBS launcher_lib)

if(VEKT_WINE_TESTS)
  vekt_test_program(standin_window SOURCES standins/StandinWindow.cpp WMAIN)

  # The game executable's stand-in must carry its name: vekt.exe.
  vekt_test_program(standin_game SOURCES standins/StandinGame.cpp LIBS launcher_lib WMAIN)
  set_target_properties(standin_game PROPERTIES OUTPUT_NAME vekt
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/game)

  vekt_test_program(gameloader_host SOURCES GameLoaderWineHost.cpp LIBS launcher_lib vekt_wine_http WMAIN)
  vekt_wine_test(NAME wine_launcher_gameloader TARGET gameloader_host
    ARGS $<TARGET_FILE:vekt_main_testpages> $<TARGET_FILE:standin_window> $<TARGET_FILE:standin_game>
    SERIAL TIMEOUT 300
    EMULATED_SKIP "the game clean-up and the log name read other processes' memory, which the emulated road refuses: tests/wine/emulation/ChildModuleName.cpp, with none of our code, gets error 998 there")
endif()
