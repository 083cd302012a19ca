#pragma once
// The program's help requests, numbered as the desktop's older help engine
// numbers them, shown through the help viewer instead: HELP_CONTEXT (1)
// becomes the viewer's context command (0x0F), HELP_CONTEXTPOPUP (8) its
// popup (0x0E), HELP_FINDER (11) its topic display (0); every other number
// passes unchanged (18 closes every help window). One hook a program, made by
// the main block before the window and destroyed after the loop.
#include <cstdint>
#include <functional>
#include <string>

class THtmlHelpHook {
 public:
  // The viewer's side: help file, translated command, data.
  using Viewer = std::function<void(const std::string& helpFile, uint32_t command, uintptr_t data)>;

  static constexpr uint16_t HELP_CONTEXT = 1, HELP_CONTEXTPOPUP = 8, HELP_FINDER = 11, HELP_QUIT_ALL = 18;
  static constexpr uint32_t HH_DISPLAY_TOPIC = 0, HH_DISPLAY_TEXT_POPUP = 0x0E, HH_HELP_CONTEXT = 0x0F,
                            HH_CLOSE_ALL = 0x12;

  // Makes helpFile the program's help file and this hook its help handler.
  THtmlHelpHook(std::string helpFile, Viewer viewer = {});
  ~THtmlHelpHook();
  THtmlHelpHook(const THtmlHelpHook&) = delete;
  THtmlHelpHook& operator=(const THtmlHelpHook&) = delete;

  const std::string& helpFile() const { return m_helpFile; }
  static uint32_t Translate(uint16_t command);
  // Handles one request; true when handled (always, while a hook exists).
  bool HelpCommand(uint16_t command, uintptr_t data);

  // The program's help request: to the hook when there is one, else nowhere.
  static bool Request(uint16_t command, uintptr_t data);
  static THtmlHelpHook* current();

 private:
  std::string m_helpFile;
  Viewer m_viewer;
};
