DELETE FROM Kvsystem.Kvs102Whl;
