# Platform client link, game-exit launch, game-process clean-up and install
# registration: host tests, fuzz targets and the Windows checks under Wine.
vekt_host_test(launcher_gameloader_test
  SOURCES PlatformLinkTest.cpp GameExitTest.cpp GameLoaderWndCoreTest.cpp GameLoaderTestSupport.cpp
  LIBS launcher_lib vekt_test_support)
vekt_fuzz_target(setting_xml_fuzz SOURCES SettingXmlFuzz.cpp LIBS launcher_lib)
vekt_fuzz_target(game_exit_text_fuzz SOURCES GameExitTextFuzz.cpp LIBS launcher_lib)

if(VEKT_WINE_TESTS)
  add_executable(standin_window standins/StandinWindow.cpp)
  vekt_warnings(standin_window)
  target_link_options(standin_window PRIVATE -municode)

  # The game executable's stand-in must carry its name: vekt.exe.
  add_executable(standin_game standins/StandinGame.cpp)
  vekt_warnings(standin_game)
  target_link_libraries(standin_game PRIVATE launcher_lib)
  target_link_options(standin_game PRIVATE -municode)
  set_target_properties(standin_game PROPERTIES OUTPUT_NAME vekt
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/game)

  add_executable(gameloader_host GameLoaderWineHost.cpp)
  vekt_warnings(gameloader_host)
  target_link_libraries(gameloader_host PRIVATE launcher_lib)
  target_include_directories(gameloader_host PRIVATE ${PROJECT_SOURCE_DIR}/tests/wine)
  target_link_options(gameloader_host PRIVATE -municode)
  vekt_wine_test(NAME wine_launcher_gameloader TARGET gameloader_host
    ARGS $<TARGET_FILE:vekt_main> $<TARGET_FILE:standin_window> $<TARGET_FILE:standin_game>
    SERIAL TIMEOUT 300
    PE32_SKIP "the game clean-up and the log checks read process memory (module base names, taskkill), which the Wine server cannot do for qemu-emulated processes")
endif()
