-- A small shop: customers, products, orders and their lines.
PRAGMA journal_mode = DELETE;
BEGIN;
CREATE TABLE customers (
  customer_id INTEGER PRIMARY KEY,
  name        VARCHAR(100) NOT NULL,
  email       VARCHAR(100),
  city        VARCHAR(60),
  country     VARCHAR(60) NOT NULL,
  created_at  TIMESTAMP NOT NULL
);
CREATE TABLE products (
  product_id  INTEGER PRIMARY KEY,
  name        VARCHAR(100) NOT NULL,
  category    VARCHAR(40) NOT NULL,
  unit_price  NUMERIC(10,2) NOT NULL,
  discontinued BOOLEAN NOT NULL DEFAULT 0
);
CREATE TABLE orders (
  order_id    INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customers (customer_id),
  order_date  DATE NOT NULL,
  status      VARCHAR(20) NOT NULL,
  note        TEXT
);
CREATE TABLE order_lines (
  order_id    INTEGER NOT NULL REFERENCES orders (order_id) ON DELETE CASCADE,
  line_no     INTEGER NOT NULL,
  product_id  INTEGER NOT NULL REFERENCES products (product_id),
  quantity    INTEGER NOT NULL CHECK (quantity > 0),
  unit_price  NUMERIC(10,2) NOT NULL,
  PRIMARY KEY (order_id, line_no)
);
CREATE INDEX ix_orders_customer ON orders (customer_id);
CREATE INDEX ix_order_lines_product ON order_lines (product_id);

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500)
INSERT INTO customers
SELECT i,
       json_extract('["Anna","Björn","Chen","Dolores","Emeka","Farah","Giulia","Hiro"]', '$[' || (i % 8) || ']') || ' ' ||
       json_extract('["Smith","Novak","Okafor","Tanaka","Müller","García","O''Brien"]', '$[' || ((i / 8) % 7) || ']'),
       CASE WHEN i % 9 = 0 THEN NULL ELSE 'customer' || i || '@example.com' END,
       json_extract('["Berlin","Lagos","Osaka","Lima","Oslo",null]', '$[' || (i % 6) || ']'),
       json_extract('["Germany","Nigeria","Japan","Peru","Norway","Italy"]', '$[' || (i % 6) || ']'),
       datetime('2022-01-01', '+' || (i * 37 % 1000) || ' days', '+' || (i * 7 % 86400) || ' seconds')
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120)
INSERT INTO products
SELECT i,
       json_extract('["Widget","Gadget","Sprocket","Gizmo","Doohickey"]', '$[' || (i % 5) || ']') || ' ' || printf('%03d', i),
       json_extract('["Hardware","Tools","Garden","Kitchen"]', '$[' || (i % 4) || ']'),
       round(1.5 + (i * 7919 % 20000) / 100.0, 2),
       i % 17 = 0
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)
INSERT INTO orders
SELECT i, 1 + (i * 7 % 500), date('2023-01-01', '+' || (i * 13 % 700) || ' days'),
       json_extract('["new","paid","shipped","delivered","cancelled"]', '$[' || (i % 5) || ']'),
       CASE WHEN i % 11 = 0 THEN 'Leave at the door; ring twice' END
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6000)
INSERT INTO order_lines
SELECT 1 + (i - 1) / 3, 1 + (i - 1) % 3, 1 + (i * 31 % 120), 1 + (i % 9),
       (SELECT unit_price FROM products WHERE product_id = 1 + (i * 31 % 120))
FROM n;

CREATE VIEW order_totals AS
SELECT o.order_id, c.name AS customer, o.order_date, o.status,
       SUM(l.quantity * l.unit_price) AS total, COUNT(*) AS lines
FROM orders o
JOIN customers c ON c.customer_id = o.customer_id
JOIN order_lines l ON l.order_id = o.order_id
GROUP BY o.order_id, c.name, o.order_date, o.status;
COMMIT;
