"""A minimal XDND drag source: drops local files on an X window as a file manager does
(XdndEnter, XdndPosition, XdndDrop, then the text/uri-list the target asks for)."""
import time
import urllib.parse

from Xlib import X, display
from Xlib.protocol import event


def drop_files(display_name, target_id, x, y, paths, timeout=5.0):
    """Drops paths at root position (x, y) on window target_id. True once the target says
    it has finished with the drop and accepted it."""
    d = display.Display(display_name)
    atom = lambda name: d.intern_atom(name)
    root = d.screen().root
    source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, event_mask=X.PropertyChangeMask)
    target = d.create_resource_object("window", target_id)
    uri_list = atom("text/uri-list")
    selection = atom("XdndSelection")
    source.set_selection_owner(selection, X.CurrentTime)

    def send(kind, data):
        msg = event.ClientMessage(window=target, client_type=atom(kind), data=(32, [source.id] + data))
        target.send_event(msg)
        d.flush()

    send("XdndEnter", [5 << 24, uri_list, 0, 0])
    send("XdndPosition", [0, (x << 16) | y, X.CurrentTime, atom("XdndActionCopy")])
    payload = "".join("file://" + urllib.parse.quote(p) + "\r\n" for p in paths).encode()
    accepted, finished, dropped = False, False, False
    end = time.time() + timeout
    while time.time() < end and not finished:
        if not d.pending_events():
            time.sleep(0.01)
            continue
        e = d.next_event()
        if e.type == X.ClientMessage and e.client_type == atom("XdndStatus"):
            accepted = bool(e.data[1][1] & 1)
            if not dropped:
                send("XdndDrop", [0, X.CurrentTime, 0, 0] if accepted else [0, 0, 0, 0])
                dropped = True
                if not accepted:
                    send("XdndLeave", [0, 0, 0, 0])
                    break
        elif e.type == X.SelectionRequest:
            req = d.create_resource_object("window", e.requestor.id)
            req.change_property(e.property, uri_list, 8, payload)
            note = event.SelectionNotify(time=e.time, requestor=e.requestor, selection=e.selection,
                                         target=e.target, property=e.property)
            req.send_event(note)
            d.flush()
        elif e.type == X.ClientMessage and e.client_type == atom("XdndFinished"):
            finished = True
    d.close()
    return accepted and finished
