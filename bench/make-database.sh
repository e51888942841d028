#!/usr/bin/env bash
# Makes a healthy benchmark database of about the given size through the bench instance:
# CLIENTES, PEDIDOS and ITENS with primary keys and two more indexes, rows of varied text that
# the server's record compression cannot shrink much, filled a chunk at a time until the file
# reaches the size.
#
#   bench/make-database.sh PATH [SIZE_MB]      (default 200)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
path=${1:?usage: make-database.sh PATH [SIZE_MB]}
size_mb=${2:-200}
chunk=${TOVANEL_BENCH_CHUNK:-20000}
bench_server_start >/dev/null

rm -f "$path"
isql-fb -q -b <<SQL
set sql dialect 3;
create database 'localhost:$path' page_size 4096 default character set utf8;
create table clientes (id integer not null primary key, nome varchar(60), cidade varchar(40),
  email varchar(80), documento char(36));
create table pedidos (id integer not null primary key, cliente integer not null,
  valor numeric(12,2), emitido timestamp, obs varchar(200));
create index ix_pedidos_cliente on pedidos (cliente);
create table itens (pedido integer not null, linha smallint not null, produto varchar(20),
  quantidade integer, preco numeric(12,2), descricao varchar(120),
  primary key (pedido, linha));
create index ix_itens_produto on itens (produto);
commit;
SQL

filled=0
while [ "$(stat -c %s "$path")" -lt $((size_mb * 1024 * 1024)) ]; do
  isql-fb -q -b "localhost:$path" <<SQL
set term ^;
execute block as
  declare i integer = $filled;
  declare n integer = $((filled + chunk));
begin
  while (i < n) do begin
    insert into clientes values (:i, 'Cliente ' || uuid_to_char(gen_uuid()),
      'Cidade ' || mod(:i, 397), lower(uuid_to_char(gen_uuid())) || '@exemplo.com.br',
      uuid_to_char(gen_uuid()));
    insert into pedidos values (:i, mod(:i * 7, :n), mod(:i * 13, 100000) / 100.0,
      dateadd(mod(:i, 86400) second to timestamp '2020-01-01 00:00:00'),
      uuid_to_char(gen_uuid()) || ' ' || uuid_to_char(gen_uuid()) || ' ' || :i);
    insert into itens values (:i, 1, 'P' || lpad(mod(:i, 50000), 8, '0'), mod(:i, 17) + 1,
      mod(:i, 9999) / 10.0, 'Item ' || uuid_to_char(gen_uuid()));
    insert into itens values (:i, 2, 'P' || lpad(mod(:i * 3, 50000), 8, '0'), mod(:i, 5) + 1,
      mod(:i, 7777) / 10.0, 'Item ' || uuid_to_char(gen_uuid()));
    i = i + 1;
  end
end^
set term ;^
commit;
SQL
  filled=$((filled + chunk))
done
echo "made $path: $(stat -c %s "$path") bytes, $filled rows in CLIENTES and PEDIDOS, $((2 * filled)) in ITENS"
