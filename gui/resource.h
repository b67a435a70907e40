// The dialogs' layouts and texts. Positions and sizes are dialog units:
// a quarter of the font's average character width across, an eighth of its
// height down.
#pragma once

namespace vantor::gui {

struct DialogRect {
    int x, y, cx, cy;
};

// The main dialog; its size is that of the client area.
inline constexpr char main_caption[] = "VantorGUI";
inline constexpr DialogRect main_client{0, 0, 146, 144};
inline constexpr DialogRect close_button_rect{89, 121, 50, 16};
inline constexpr DialogRect result_box_rect{7, 7, 132, 83};
inline constexpr DialogRect about_button_rect{89, 98, 50, 14};
inline constexpr DialogRect name_box_rect{7, 106, 80, 14};
inline constexpr char close_button_text[] = "閉じる";
inline constexpr char about_button_text[] = "About";

// The window menu that stands in for the system menu.
inline constexpr char about_menu_text[] = "バージョン情報 VantorGUI(&A)...";
inline constexpr char minimize_menu_text[] = "最小化(&N)";
inline constexpr char close_menu_text[] = "閉じる(&C)";

// The About box.
inline constexpr char about_caption[] = "バージョン情報 Vantor";
inline constexpr DialogRect about_client{0, 0, 242, 82};
inline constexpr DialogRect about_icon_pos{14, 27, 20, 20};
inline constexpr DialogRect product_line_rect{39, 13, 72, 8};
inline constexpr DialogRect version_box_rect{94, 13, 40, 12};
inline constexpr DialogRect credit_line_rect{38, 38, 146, 11};
inline constexpr DialogRect ok_button_rect{185, 33, 50, 16};
inline constexpr DialogRect program_line_rect{38, 60, 146, 10};
inline constexpr char product_line_text[] = "Vantor Version";
inline constexpr char credit_line_text[] = "JPEGの読み込みにはIJGのlibjpegを使用しています";
inline constexpr char ok_button_text[] = "OK";
// The program's own version, shown under the decoder's.
inline constexpr char program_line_prefix[] = "vantor-gui ";

// Japanese UI faces tried first for the dialogs' 9-point font; the
// platform's default face follows as the last fallback.
inline constexpr const char *dialog_font_families[] = {"IPAPGothic", "Noto Sans CJK JP",
                                                       "VL PGothic", "IPAGothic"};
inline constexpr int dialog_font_points = 9;

} // namespace vantor::gui
