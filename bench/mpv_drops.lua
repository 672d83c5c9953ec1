-- Prints the frames mpv dropped (by its decoder and by its video output) as DROPPED=N when
-- it exits, in the form bench/run.sh reads from every player.
local vo, dec = 0, 0
mp.observe_property("frame-drop-count", "number", function(_, v) if v then vo = v end end)
mp.observe_property("decoder-frame-drop-count", "number", function(_, v) if v then dec = v end end)
mp.register_event("shutdown", function() print(string.format("DROPPED=%d", vo + dec)) end)
