// The dialog on GTK 3. The template is a GtkBuilder file compiled in as a
// GResource; GTK's signals become the procedure's DIALOG_COMMAND with the
// control id, which each widget carries as its name.
#include "app/dialog_box.h"

#include <gtk/gtk.h>

// The generated header is plain C.
extern "C" {
#include "glowcam_resources.h"
}

#include <cstdlib>
#include <string>

namespace {

constexpr const char* template_path = "/org/glowcam/dialog.ui";
constexpr const char* window_id = "config_dialog";

// The controls in template order; Tab visits the ones with a tab stop in this
// order (the resolutions have none), whatever their place on the screen.
struct TemplateControl {
    int id;
    bool tab_stop;
};
constexpr TemplateControl template_controls[] = {
    {DIALOG_ID_GO, true},
    {DIALOG_ID_EXIT, true},
    {DIALOG_ID_RES_640, false},
    {DIALOG_ID_RES_800, false},
    {DIALOG_ID_RES_1024, false},
    {DIALOG_ID_FULL_SCREEN, true},
    {DIALOG_ID_NO_SOUND, true},
};
constexpr int template_control_count = sizeof template_controls / sizeof template_controls[0];

// The one dialog there is at a time.
struct DialogBox {
    bool toolkit_prepared = false;
    GtkBuilder* builder = nullptr;
    GtkWindow* window = nullptr;
    DialogProc procedure = nullptr;
    bool ended = false;
    int result = 0;
    // Set while the procedure changes a control: like the system's own check
    // calls, that is not a press and sends no command.
    bool setting_controls = false;
};
DialogBox box;

GtkWidget* control(int id)
{
    if (!box.builder)
        return nullptr;
    GObject* object = gtk_builder_get_object(box.builder, std::to_string(id).c_str());
    return object && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

void set_checked(int id, bool checked)
{
    GtkWidget* widget = control(id);
    if (!widget || !GTK_IS_TOGGLE_BUTTON(widget))
        return;
    box.setting_controls = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), checked);
    box.setting_controls = false;
}

void check_radio_button(int first_id, int last_id, int check_id)
{
    // Check the new one first: a GTK radio group cannot be left empty.
    set_checked(check_id, true);
    for (int id = first_id; id <= last_id; ++id)
        if (id != check_id)
            set_checked(id, false);
}

void check_button(int id, bool checked)
{
    set_checked(id, checked);
}

bool is_button_checked(int id)
{
    GtkWidget* widget = control(id);
    return widget && GTK_IS_TOGGLE_BUTTON(widget) &&
           gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
}

void end_dialog(int end_result)
{
    box.ended = true;
    box.result = end_result;
}

const DialogControls controls = {check_radio_button, check_button, is_button_checked, end_dialog};

void send_command(int id)
{
    if (!box.ended)
        box.procedure(&controls, DIALOG_COMMAND, id);
}

void on_clicked(GtkButton* button, gpointer id)
{
    if (box.setting_controls)
        return;
    // The radio button that a click unchecks reports a click too; only the
    // one the user pressed, now checked, is a command.
    if (GTK_IS_RADIO_BUTTON(button) && !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button)))
        return;
    send_command(GPOINTER_TO_INT(id));
}

// The close box and the window manager's Close: Cancel, which the procedure
// may ignore; the window stays either way until the procedure ends it.
gboolean on_delete(GtkWidget*, GdkEvent*, gpointer)
{
    send_command(DIALOG_ID_CANCEL);
    return TRUE;
}

void move_focus_in_template_order(bool backwards)
{
    GtkWidget* focus = gtk_window_get_focus(box.window);
    int at = -1;
    for (int i = 0; i < template_control_count; ++i)
        if (control(template_controls[i].id) == focus)
            at = i;
    if (at < 0)
        at = backwards ? 0 : template_control_count - 1;
    for (int step = 1; step <= template_control_count; ++step) {
        int i = (at + (backwards ? -step : step) + template_control_count) % template_control_count;
        if (template_controls[i].tab_stop) {
            gtk_widget_grab_focus(control(template_controls[i].id));
            return;
        }
    }
}

gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer)
{
    GdkModifierType modifiers =
        GdkModifierType(event->state & gtk_accelerator_get_default_mod_mask());
    switch (event->keyval) {
    case GDK_KEY_Escape:
        send_command(DIALOG_ID_CANCEL);
        return TRUE;
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_ISO_Left_Tab:
        if (modifiers & ~GDK_SHIFT_MASK)
            return FALSE;
        move_focus_in_template_order(event->keyval == GDK_KEY_ISO_Left_Tab ||
                                     (modifiers & GDK_SHIFT_MASK));
        return TRUE;
    default:
        break;
    }
    // Every control is a button, so a mnemonic works without Alt as well.
    if (modifiers == 0)
        return gtk_window_mnemonic_activate(box.window, gdk_keyval_to_lower(event->keyval),
                                            gtk_window_get_mnemonic_modifier(box.window));
    return FALSE;
}

std::string no_display_reason()
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display)
        return std::string("cannot open display ") + display;
    return "no display (DISPLAY is not set)";
}

}  // namespace

bool dialog_box_open(DialogProc proc, std::string* error)
{
    if (!box.toolkit_prepared) {
        // The show formats and parses numbers in the C locale; GTK must not
        // switch the process to the user's.
        gtk_disable_setlocale();
        glowcam_resources_register_resource();
        box.toolkit_prepared = true;
    }
    if (!gtk_init_check(nullptr, nullptr)) {
        *error = no_display_reason();
        return false;
    }

    box.builder = gtk_builder_new();
    GError* load_error = nullptr;
    if (!gtk_builder_add_from_resource(box.builder, template_path, &load_error)) {
        *error = std::string("cannot load the dialog template: ") + load_error->message;
        g_error_free(load_error);
        dialog_box_close();
        return false;
    }
    box.window = GTK_WINDOW(gtk_builder_get_object(box.builder, window_id));
    // A system-modal dialog: nothing else of the program is on screen yet.
    gtk_window_set_keep_above(box.window, TRUE);
    box.procedure = proc;
    box.ended = false;
    box.result = 0;

    for (const TemplateControl& c : template_controls)
        g_signal_connect(control(c.id), "clicked", G_CALLBACK(on_clicked), GINT_TO_POINTER(c.id));
    g_signal_connect(box.window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(box.window, "key-press-event", G_CALLBACK(on_key_press), nullptr);

    if (box.procedure(&controls, DIALOG_INIT, 0)) {
        for (const TemplateControl& c : template_controls) {
            if (c.tab_stop) {
                gtk_widget_grab_focus(control(c.id));
                break;
            }
        }
    }
    gtk_widget_show(GTK_WIDGET(box.window));
    return true;
}

int dialog_box_result()
{
    return box.ended ? box.result : 0;
}

void dialog_box_close()
{
    if (box.window)
        gtk_widget_destroy(GTK_WIDGET(box.window));
    box.window = nullptr;
    if (box.builder)
        g_object_unref(box.builder);
    box.builder = nullptr;
    box.procedure = nullptr;

    // The destruction reaches the server now, not whenever GTK next runs
    // (never, once the show has started). The connection itself stays open:
    // closing it makes GTK 3 unref a half-finalised theme and complain.
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    if (GdkDisplay* display = gdk_display_get_default())
        gdk_display_flush(display);
}

int dialog_box_run(DialogProc proc, std::string* error)
{
    if (!dialog_box_open(proc, error))
        return DIALOG_BOX_FAILED;
    while (!box.ended)
        gtk_main_iteration();
    int end_result = box.result;
    dialog_box_close();
    return end_result;
}
