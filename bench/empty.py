# Start-up only, the peer of empty.zun.
