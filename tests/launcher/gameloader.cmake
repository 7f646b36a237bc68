# Platform client link, game-exit launch, game-process clean-up and install
# registration: host tests, fuzz targets and the Windows checks under Wine.
vekt_host_test(launcher_gameloader_test
  SOURCES platform_link_test.cpp game_exit_test.cpp gameloader_test_support.cpp
  LIBS launcher_lib)
vekt_fuzz_target(setting_xml_fuzz SOURCES setting_xml_fuzz.cpp LIBS launcher_lib)
vekt_fuzz_target(game_exit_text_fuzz SOURCES game_exit_text_fuzz.cpp LIBS launcher_lib)
